#include "Vessa/Views/MainWindow/FailureView.h"

#include "Vessa/Views/Theme/Icons.h"
#include "Vessa/Views/Theme/VessaTheme.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vessa {

namespace {

constexpr int spacing = 16;
constexpr int padding = 16;
constexpr int symbolSize = 48;

void useSecondaryColor(QLabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, VessaTheme::secondaryColor(palette.color(QPalette::WindowText)));
    label->setPalette(palette);
}

} // namespace

FailureView::FailureView(std::optional<QString> error, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(spacing);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->addStretch();

    auto* symbol = new QLabel(this);
    symbol->setObjectName(QStringLiteral("failureSymbol"));
    symbol->setPixmap(Icons::tinted(QStringLiteral("exclamationmark.triangle"), QSize(symbolSize, symbolSize),
                                    devicePixelRatioF(),
                                    VessaTheme::secondaryColor(palette().color(QPalette::WindowText))));
    symbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(symbol);

    auto* title = new QLabel(tr("Failed to initialize"), this);
    title->setObjectName(QStringLiteral("failureTitle"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() > 0 ? titleFont.pointSizeF() * 17 / 13 : 17);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    if (error) {
        auto* text = new QLabel(*error, this);
        text->setObjectName(QStringLiteral("failureError"));
        QFont captionFont = text->font();
        captionFont.setPointSizeF(captionFont.pointSizeF() > 0 ? captionFont.pointSizeF() * 10 / 13 : 10);
        text->setFont(captionFont);
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignCenter);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setContentsMargins(padding, 0, padding, 0);
        useSecondaryColor(text);
        layout->addWidget(text);
    }
    layout->addStretch();
}

} // namespace vessa
