#pragma once

#include "Rasko/TrackMetadata.h"
#include "Vessa/Views/NowPlaying/NowPlayingFormat.h"
#include "VessaCore/TrackRef.h"

#include <QPoint>
#include <QWidget>

#include <optional>

class QLabel;
class QMimeData;
class QStackedWidget;

namespace vessa {

class BusyIndicator;

// The current track in the now-playing bar, in one of three forms: its
// artwork, title and "artist — album" once its tags are loaded; a spinner
// with the reference's track name while they load; or "Not Playing". In the
// first form it can be dragged out as a track reference, and a click on it
// asks the owner to reveal the track.
class TrackInfoView : public QWidget {
    Q_OBJECT
public:
    explicit TrackInfoView(QWidget* parent = nullptr);

    void display(const std::optional<TrackRef>& track, const std::optional<TrackMetadata>& metadata,
                 const TransportState& transport);
    NowPlayingFormat::TrackInfoForm form() const { return m_form; }

    // The shown texts, for the bar's owner and its tests.
    QString titleText() const;
    QString detailText() const;
    QString loadingText() const;
    bool showsArtwork() const;
    // What dragging the track carries: its reference (and the drag picture
    // shows its title and artist); null unless its tags are shown.
    QMimeData* dragPayload() const;

signals:
    // A click on the track in its first form.
    void clicked(const vessa::TrackRef& track);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* makeMetadataPage();
    QWidget* makeLoadingPage();
    void setArtwork(const std::optional<QByteArray>& data);
    void startDrag();

    NowPlayingFormat::TrackInfoForm m_form = NowPlayingFormat::TrackInfoForm::notPlaying;
    std::optional<TrackRef> m_track;
    std::optional<TrackMetadata> m_metadata;
    QStackedWidget* m_pages;
    QLabel* m_artwork;
    QLabel* m_title;
    QLabel* m_detail;
    BusyIndicator* m_spinner;
    QLabel* m_loading;
    QLabel* m_notPlaying;
    std::optional<QPoint> m_pressPosition;
};

} // namespace vessa
