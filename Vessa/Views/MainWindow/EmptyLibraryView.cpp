#include "Vessa/Views/MainWindow/EmptyLibraryView.h"

#include "Vessa/Views/MainWindow/DetailState.h"
#include "Vessa/Views/Theme/Icons.h"
#include "Vessa/Views/Theme/TextStyles.h"

#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace vessa {

EmptyLibraryView::EmptyLibraryView(QWidget* parent)
    : QWidget(parent), m_title(new QLabel(DetailState::emptyTitle())), m_hint(new QLabel(DetailState::emptyHint()))
{
    auto* symbol = new QLabel;
    symbol->setPixmap(Icons::tinted(QStringLiteral("music.note.list"), QSize(64, 64), devicePixelRatioF(),
                                    TextStyles::secondaryText(palette())));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    m_title->setFont(titleFont);
    TextStyles::makeSecondary(m_title);
    TextStyles::makeTertiary(m_hint);
    m_hint->setWordWrap(true);
    m_hint->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->addStretch();
    layout->addWidget(symbol, 0, Qt::AlignHCenter);
    layout->addWidget(m_title, 0, Qt::AlignHCenter);
    // Across the whole width, so that the height it is given is the one its
    // text needs when wrapped to the width it has.
    layout->addWidget(m_hint);
    layout->addStretch();
}

QSize EmptyLibraryView::minimumSizeHint() const
{
    // At its narrowest the hint wraps onto more lines: room for all of them.
    QSize size = QWidget::minimumSizeHint();
    size.setHeight(std::max(size.height(), layout()->totalHeightForWidth(size.width())));
    return size;
}

QString EmptyLibraryView::title() const
{
    return m_title->text();
}

QString EmptyLibraryView::hint() const
{
    return m_hint->text();
}

} // namespace vessa
