#include "Vessa/Views/MainWindow/ScanningStateView.h"

#include "Vessa/Views/MainWindow/DetailState.h"
#include "Vessa/Views/Shared/BusyIndicator.h"
#include "Vessa/Views/Theme/TextStyles.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vessa {

ScanningStateView::ScanningStateView(QWidget* parent)
    : QWidget(parent), m_spinner(new BusyIndicator), m_text(new QLabel)
{
    m_spinner->setFixedSize(32, 32);
    TextStyles::makeSecondary(m_text);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->addStretch();
    layout->addWidget(m_spinner, 0, Qt::AlignHCenter);
    layout->addWidget(m_text, 0, Qt::AlignHCenter);
    layout->addStretch();
    setProgress(std::nullopt);
}

void ScanningStateView::setProgress(const std::optional<LibraryScanProgress>& progress)
{
    m_text->setText(DetailState::scanningText(progress));
}

QString ScanningStateView::text() const
{
    return m_text->text();
}

} // namespace vessa
