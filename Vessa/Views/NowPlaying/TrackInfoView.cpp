#include "Vessa/Views/NowPlaying/TrackInfoView.h"

#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/Views/Shared/BusyIndicator.h"
#include "Vessa/Views/Shared/DragPreview.h"
#include "Vessa/Views/Theme/TextStyles.h"

#include <QApplication>
#include <QDrag>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace vessa {

using TextStyles::scaledFont;

namespace {

constexpr int artworkSize = 50;
constexpr qreal artworkRadius = 6;

// The picture filling a square, cropped to it, with rounded corners; an
// empty square when the bytes are no picture.
QPixmap roundedArtwork(const QByteArray& data, qreal devicePixelRatio)
{
    const int pixels = qRound(artworkSize * devicePixelRatio);
    QPixmap result(pixels, pixels);
    result.fill(Qt::transparent);
    QImage image;
    if (image.loadFromData(data)) {
        image = image.scaled(pixels, pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        const QRect crop((image.width() - pixels) / 2, (image.height() - pixels) / 2, pixels, pixels);
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(0, 0, pixels, pixels), artworkRadius * devicePixelRatio,
                            artworkRadius * devicePixelRatio);
        painter.setClipPath(clip);
        painter.drawImage(QPoint(0, 0), image, crop);
    }
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

} // namespace

TrackInfoView::TrackInfoView(QWidget* parent) : QWidget(parent), m_pages(new QStackedWidget(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);
    m_pages->addWidget(makeMetadataPage());
    m_pages->addWidget(makeLoadingPage());
    m_notPlaying = new QLabel(tr("Not Playing"));
    m_notPlaying->setFont(scaledFont(font(), 1.1, QFont::DemiBold));
    TextStyles::makeSecondary(m_notPlaying);
    m_pages->addWidget(m_notPlaying);
    m_pages->setCurrentWidget(m_notPlaying);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

QWidget* TrackInfoView::makeMetadataPage()
{
    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    m_artwork = new QLabel;
    m_artwork->setFixedSize(artworkSize, artworkSize);
    auto* shadow = new QGraphicsDropShadowEffect(m_artwork);
    shadow->setColor(QColor(0, 0, 0, 51));
    shadow->setBlurRadius(8);
    shadow->setOffset(0, 2);
    m_artwork->setGraphicsEffect(shadow);
    row->addWidget(m_artwork);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(2);
    m_title = new QLabel;
    m_title->setFont(scaledFont(font(), 1.25, QFont::DemiBold));
    m_detail = new QLabel;
    TextStyles::makeSecondary(m_detail);
    lines->addStretch();
    lines->addWidget(m_title);
    lines->addWidget(m_detail);
    lines->addStretch();
    row->addLayout(lines);
    return page;
}

QWidget* TrackInfoView::makeLoadingPage()
{
    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    m_spinner = new BusyIndicator;
    m_loading = new QLabel;
    m_loading->setFont(scaledFont(font(), 1.1, QFont::DemiBold));
    TextStyles::makeSecondary(m_loading);
    row->addWidget(m_spinner);
    row->addWidget(m_loading);
    return page;
}

void TrackInfoView::display(const std::optional<TrackRef>& track, const std::optional<TrackMetadata>& metadata,
                            const TransportState& transport)
{
    m_track = track;
    m_metadata = metadata;
    m_form = NowPlayingFormat::trackInfoForm(track, metadata, transport);
    switch (m_form) {
    case NowPlayingFormat::TrackInfoForm::metadata:
        setArtwork(metadata->artworkData);
        m_title->setText(NowPlayingFormat::titleLine(*metadata, *track));
        m_detail->setText(NowPlayingFormat::artistAlbumLine(*metadata));
        m_pages->setCurrentIndex(0);
        setCursor(Qt::PointingHandCursor);
        break;
    case NowPlayingFormat::TrackInfoForm::loading:
        m_loading->setText(track->track());
        m_pages->setCurrentIndex(1);
        unsetCursor();
        break;
    case NowPlayingFormat::TrackInfoForm::notPlaying:
        m_pages->setCurrentWidget(m_notPlaying);
        unsetCursor();
        break;
    }
}

void TrackInfoView::setArtwork(const std::optional<QByteArray>& data)
{
    m_artwork->setVisible(data.has_value());
    if (data)
        m_artwork->setPixmap(roundedArtwork(*data, devicePixelRatioF()));
}

QString TrackInfoView::titleText() const
{
    return m_form == NowPlayingFormat::TrackInfoForm::metadata ? m_title->text() : QString();
}

QString TrackInfoView::detailText() const
{
    return m_form == NowPlayingFormat::TrackInfoForm::metadata ? m_detail->text() : QString();
}

QString TrackInfoView::loadingText() const
{
    return m_form == NowPlayingFormat::TrackInfoForm::loading      ? m_loading->text()
           : m_form == NowPlayingFormat::TrackInfoForm::notPlaying ? m_notPlaying->text()
                                                                   : QString();
}

bool TrackInfoView::showsArtwork() const
{
    return m_form == NowPlayingFormat::TrackInfoForm::metadata && !m_artwork->isHidden();
}

void TrackInfoView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_form == NowPlayingFormat::TrackInfoForm::metadata)
        m_pressPosition = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void TrackInfoView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressPosition && (event->buttons() & Qt::LeftButton)
        && (event->position().toPoint() - *m_pressPosition).manhattanLength() >= QApplication::startDragDistance()) {
        m_pressPosition.reset();
        startDrag();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TrackInfoView::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click =
        m_pressPosition && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressPosition.reset();
    if (click && m_track && m_form == NowPlayingFormat::TrackInfoForm::metadata)
        emit clicked(*m_track);
    QWidget::mouseReleaseEvent(event);
}

QMimeData* TrackInfoView::dragPayload() const
{
    if (m_form != NowPlayingFormat::TrackInfoForm::metadata)
        return nullptr;
    return encodeTrackRefs({*m_track});
}

void TrackInfoView::startDrag()
{
    QMimeData* payload = dragPayload();
    if (!payload)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(payload);
    const DragPreview preview(m_metadata->title.value_or(tr("Unknown")), m_metadata->artist.value_or(QString()));
    drag->setPixmap(preview.render(palette(), font()));
    drag->exec(Qt::CopyAction);
}

} // namespace vessa
