#include "Vessa/Views/Theme/Icons.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace vessa::Icons {

namespace {

const QHash<QString, QStringList>& themeNameTable()
{
    static const QHash<QString, QStringList> table = [] {
        QHash<QString, QStringList> t;
        auto add = [&t](const char* symbol, std::initializer_list<const char*> names) {
            QStringList list;
            // Single-colour ("symbolic") variants first: the marks are recoloured.
            for (const char* name : names) {
                list.append(QLatin1String(name) + QLatin1String("-symbolic"));
                list.append(QLatin1String(name));
            }
            t.insert(QLatin1String(symbol), list);
        };
        add("play.fill", {"media-playback-start"});
        add("play.circle.fill", {"media-playback-start"});
        add("pause.circle.fill", {"media-playback-pause"});
        add("forward.fill", {"media-skip-forward"});
        add("backward.fill", {"media-skip-backward"});
        add("repeat", {"media-playlist-repeat"});
        add("repeat.1", {"media-playlist-repeat-song", "media-playlist-repeat"});
        add("shuffle", {"media-playlist-shuffle"});
        add("star", {"non-starred", "starred"});
        add("star.fill", {"starred"});
        add("star.slash", {"non-starred"});
        add("speaker.fill", {"audio-volume-low"});
        add("speaker.slash", {"audio-volume-muted"});
        add("speaker.slash.fill", {"audio-volume-muted"});
        add("speaker.wave.1.fill", {"audio-volume-low"});
        add("speaker.wave.2", {"audio-volume-medium", "audio-volume-high"});
        add("speaker.wave.2.fill", {"audio-volume-high"});
        add("speaker.wave.3.fill", {"audio-volume-high"});
        add("icloud.and.arrow.down", {"cloud-download", "folder-download", "go-down"});
        add("square.and.arrow.down", {"document-save"});
        add("music.note", {"audio-x-generic", "emblem-music"});
        add("music.note.list", {"view-media-playlist", "audio-x-generic"});
        add("folder", {"folder"});
        add("folder.fill", {"folder-music", "folder"});
        add("plus", {"list-add"});
        add("minus.circle", {"list-remove"});
        add("minus.circle.fill", {"list-remove"});
        add("trash", {"user-trash", "edit-delete"});
        add("checkmark", {"object-select", "emblem-ok"});
        add("arrow.clockwise", {"view-refresh"});
        add("slider.horizontal.3", {"multimedia-equalizer", "preferences-system"});
        add("exclamationmark.triangle", {"dialog-warning"});
        add("exclamationmark.triangle.fill", {"dialog-warning"});
        add("text.badge.plus", {"list-add"});
        return t;
    }();
    return table;
}

// Adwaita stands behind whatever theme the desktop uses. Without a platform
// theme (a bare window system, the tests' offscreen one) Qt neither knows the
// system's icon folders nor a theme, so both are supplied here.
void ensureFallbackTheme()
{
    static const bool done = [] {
        QStringList searchPaths = QIcon::themeSearchPaths();
        QStringList dataDirs = qEnvironmentVariable("XDG_DATA_DIRS").split(u':', Qt::SkipEmptyParts);
        if (dataDirs.isEmpty())
            dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
        for (const QString& dir : std::as_const(dataDirs)) {
            const QString icons = dir + QLatin1String("/icons");
            if (!searchPaths.contains(icons))
                searchPaths.append(icons);
        }
        QIcon::setThemeSearchPaths(searchPaths);
        if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        if (QIcon::themeName().isEmpty())
            QIcon::setThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    Q_UNUSED(done);
}

QPainterPath glyphPath(const QString& symbol)
{
    // Drawn in a 16 x 16 box.
    QPainterPath path;
    if (symbol.startsWith(QLatin1String("play"))) {
        path.moveTo(4, 2);
        path.lineTo(14, 8);
        path.lineTo(4, 14);
        path.closeSubpath();
    } else if (symbol.startsWith(QLatin1String("pause"))) {
        path.addRect(3, 2, 4, 12);
        path.addRect(9, 2, 4, 12);
    } else if (symbol.startsWith(QLatin1String("star"))) {
        path.moveTo(8, 1);
        path.lineTo(10, 6);
        path.lineTo(15, 6);
        path.lineTo(11, 9.5);
        path.lineTo(12.5, 15);
        path.lineTo(8, 11.5);
        path.lineTo(3.5, 15);
        path.lineTo(5, 9.5);
        path.lineTo(1, 6);
        path.lineTo(6, 6);
        path.closeSubpath();
    } else if (symbol.startsWith(QLatin1String("speaker"))) {
        path.moveTo(1, 6);
        path.lineTo(4, 6);
        path.lineTo(8, 2);
        path.lineTo(8, 14);
        path.lineTo(4, 10);
        path.lineTo(1, 10);
        path.closeSubpath();
        path.addRect(10, 7, 2, 2);
        path.addRect(13, 5, 2, 6);
    } else if (symbol.contains(QLatin1String("arrow.down"))) {
        path.addRect(7, 1, 2, 8);
        path.moveTo(3, 8);
        path.lineTo(13, 8);
        path.lineTo(8, 13);
        path.closeSubpath();
        path.addRect(2, 14, 12, 1.5);
    } else if (symbol.startsWith(QLatin1String("music"))) {
        path.addEllipse(QPointF(5, 12), 3, 2.2);
        path.addRect(7, 2, 1.6, 10);
        path.addRect(7, 2, 6, 2);
    } else {
        path.addEllipse(QPointF(8, 8), 5, 5);
    }
    return path;
}

class GlyphEngine : public QIconEngine {
public:
    explicit GlyphEngine(QString symbol) : m_symbol(std::move(symbol)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / 16.0, rect.height() / 16.0);
        QColor color = QPalette().color(QPalette::WindowText);
        if (mode == QIcon::Disabled)
            color.setAlphaF(0.4);
        painter->fillPath(glyphPath(m_symbol), color);
        painter->restore();
    }
    QIconEngine* clone() const override { return new GlyphEngine(m_symbol); }
    QString key() const override { return QStringLiteral("VessaGlyph"); }

private:
    QString m_symbol;
};

} // namespace

QStringList themeNames(const QString& symbol)
{
    return themeNameTable().value(symbol);
}

QIcon drawnGlyph(const QString& symbol)
{
    return QIcon(new GlyphEngine(symbol));
}

QIcon icon(const QString& symbol)
{
    ensureFallbackTheme();
    for (const QString& name : themeNames(symbol)) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return drawnGlyph(symbol);
}

QPixmap tinted(const QString& symbol, QSize size, qreal devicePixelRatio, const QColor& color)
{
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    icon(symbol).paint(&painter, QRect(QPoint(0, 0), size));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRect(QPoint(0, 0), size), color);
    return pixmap;
}

} // namespace vessa::Icons
