#include "Vessa/Views/TrackLists/TrackListMenus.h"

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/Playlists/PlaylistQueue.h"
#include "Vessa/Views/Shared/PluralForm.h"

#include <QCoreApplication>

namespace vessa::TrackListMenus {

namespace {

// `one` for a single row, else `several` with its %1 replaced by `number`, in
// the plural form that number takes.
QString countedTitle(qsizetype count, qsizetype number, const char* one, const char* several)
{
    if (count == 1)
        return QCoreApplication::translate("TrackLists", one);
    return QCoreApplication::translate("TrackLists", several, nullptr, pluralFormCount(number)).arg(number);
}

} // namespace

QList<TrackRef> refsOf(const TrackRows& rows)
{
    QList<TrackRef> refs;
    refs.reserve(rows.size());
    for (const TrackRow& row : rows)
        refs.append(row.ref);
    return refs;
}

QStringList filePathsOf(const TrackRows& rows)
{
    QStringList paths;
    for (const TrackRow& row : rows) {
        const QString path = row.userInfo.toString();
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

TrackContextMenuItem playItem(std::function<void()> action)
{
    return TrackContextMenuItem::button(QCoreApplication::translate("TrackLists", "Play"), QStringLiteral("play.fill"),
                                        std::nullopt, std::move(action));
}

TrackContextMenuItem addToQueueItem(const TrackListServices& services, const TrackRows& rows)
{
    const QList<TrackRef> refs = refsOf(rows);
    return TrackContextMenuItem::button(
        countedTitle(rows.size(), rows.size(), QT_TRANSLATE_NOOP("TrackLists", "Add to Queue"),
                     QT_TRANSLATE_N_NOOP("TrackLists", "Add %1 to Queue")),
        QStringLiteral("text.badge.plus"), std::nullopt,
        [&playContext = services.playContext, refs] { playContext.appendToQueue(refs); });
}

TrackContextMenuItem starItem(const TrackListServices& services, const TrackRows& rows)
{
    const QList<TrackRef> refs = refsOf(rows);
    const PlaylistLibrary& library = services.playlistQueue.playlistLibrary();
    const bool allStarred =
        std::all_of(refs.cbegin(), refs.cend(), [&](const TrackRef& ref) { return library.isStarred(ref); });
    const QString title = allStarred ? countedTitle(rows.size(), rows.size(), QT_TRANSLATE_NOOP("TrackLists", "Unstar"),
                                                    QT_TRANSLATE_N_NOOP("TrackLists", "Unstar %1 Tracks"))
                                     : countedTitle(rows.size(), rows.size(), QT_TRANSLATE_NOOP("TrackLists", "Star"),
                                                    QT_TRANSLATE_N_NOOP("TrackLists", "Star %1 Tracks"));
    return TrackContextMenuItem::button(title, allStarred ? QStringLiteral("star.slash") : QStringLiteral("star"),
                                        std::nullopt, [services, refs, allStarred] {
                                            std::exception_ptr failure;
                                            for (const TrackRef& ref : refs) {
                                                try {
                                                    if (allStarred)
                                                        services.playlistQueue.playlistLibrary().unstar(ref);
                                                    else
                                                        services.playlistQueue.playlistLibrary().star(ref);
                                                } catch (const std::exception&) {
                                                    // A failed one is skipped; the rest go on.
                                                    if (!failure)
                                                        failure = std::current_exception();
                                                }
                                            }
                                            if (failure)
                                                services.showError(failure);
                                        });
}

std::optional<TrackContextMenuItem> addToPlaylistItem(const TrackListServices& services, const TrackRows& rows)
{
    const QList<TrackRef> refs = refsOf(rows);
    QList<TrackContextMenuItem> entries;
    for (const Playlist& playlist : services.playlistQueue.playlistLibrary().playlists()) {
        if (playlist.name == PlaylistLibrary::starredName)
            continue;
        const auto addTo = [services, playlist, refs] {
            Playlist extended = playlist;
            for (const TrackRef& ref : refs)
                extended.append(ref);
            try {
                services.playlistQueue.playlistLibrary().save(extended);
            } catch (const std::exception&) {
                // The library keeps its previous version.
                services.showError(std::current_exception());
            }
        };
        entries.append(TrackContextMenuItem::button(playlist.name, std::nullopt, std::nullopt, addTo));
    }
    if (entries.isEmpty())
        return std::nullopt;
    return TrackContextMenuItem::submenu(countedTitle(rows.size(), rows.size(),
                                                      QT_TRANSLATE_NOOP("TrackLists", "Add to Playlist"),
                                                      QT_TRANSLATE_N_NOOP("TrackLists", "Add %1 to Playlist")),
                                         QStringLiteral("music.note.list"), entries);
}

std::optional<TrackContextMenuItem> revealItem(const TrackListServices& services, const FileRevealerPtr& revealer,
                                               const TrackRows& rows)
{
    const QStringList paths = filePathsOf(rows);
    if (paths.isEmpty())
        return std::nullopt;
    return TrackContextMenuItem::button(countedTitle(rows.size(), paths.size(),
                                                     QT_TRANSLATE_NOOP("TrackLists", "Show in File Manager"),
                                                     QT_TRANSLATE_N_NOOP("TrackLists", "Show %1 in File Manager")),
                                        std::nullopt, std::nullopt, [showError = services.showError, revealer, paths] {
                                            if (revealer)
                                                revealer->reveal(paths, showError);
                                        });
}

QList<TrackContextMenuItem> trackItems(const TrackListServices& services, const FileRevealerPtr& revealer,
                                       const TrackRows& rows, std::function<void()> play, bool libraryItems)
{
    QList<TrackContextMenuItem> items{playItem(std::move(play)), addToQueueItem(services, rows)};
    if (libraryItems) {
        items.append(TrackContextMenuItem::divider());
        items.append(starItem(services, rows));
        if (auto submenu = addToPlaylistItem(services, rows))
            items.append(*submenu);
    }
    if (auto reveal = revealItem(services, revealer, rows)) {
        items.append(TrackContextMenuItem::divider());
        items.append(*reveal);
    }
    return items;
}

} // namespace vessa::TrackListMenus
