#include "Oblin/PlaybackCommand.h"

#include <charconv>
#include <cmath>

namespace vessa {

namespace {

// The shortest text that reads back as the same number, with ".0" added to
// whole numbers so a value always looks like a floating-point one.
QString secondsText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (!text.contains(u'.') && !text.contains(u'e'))
        text += QStringLiteral(".0");
    return text;
}

} // namespace

QString PlaybackCommand::description() const
{
    switch (m_kind) {
    case Kind::seek: return QStringLiteral("seek(to: %1)").arg(secondsText(m_seconds));
    case Kind::play: return QStringLiteral("play");
    case Kind::pause: return QStringLiteral("pause");
    case Kind::next: return QStringLiteral("next");
    case Kind::previous: break;
    }
    return QStringLiteral("previous");
}

} // namespace vessa
