// Playlist file hints: resolving arbitrary hints against arbitrary playlist
// paths, and encoded paths resolving to the paths they encode.

#include "Rasko/FileHint.h"
#include "fuzz/FuzzInput.h"

using namespace vessa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput input(data, size);
    // The text: the hint (or the path to encode), then after the first line
    // break the playlist file's path.
    const QString text = QString::fromUtf8(input.rest());
    const qsizetype lineBreak = text.indexOf(u'\n');
    const QString hint = lineBreak < 0 ? text : text.left(lineBreak);
    const std::optional<QString> playlist = lineBreak < 0 ? std::nullopt : std::optional(text.mid(lineBreak + 1));

    (void)FileHint::form(hint);
    (void)FileHint::resolve(hint, std::nullopt);
    const std::optional<QString> kept = FileHint::resolve(hint, playlist, FileHint::BadEscapes::keptAsWritten);
    const std::optional<QString> strict = FileHint::resolve(hint, playlist, FileHint::BadEscapes::unresolvable);
    fuzz::check(!strict || strict == kept, "refusing bad escapes changes nothing about a hint without them");

    // The hint as a path to encode: it resolves to itself (absolute) or to
    // itself below the playlist's folder (relative).
    const QString& path = hint;
    if (path.isEmpty() || path.contains(QChar(u'\0')) || path.startsWith(QStringLiteral("//")))
        return 0;
    const QString encoded = FileHint::encode(path);
    if (path.startsWith(u'/')) {
        fuzz::check(FileHint::form(encoded) == FileHint::Form::absolute, "an encoded absolute path is absolute");
        fuzz::check(FileHint::resolve(encoded, std::nullopt) == path, "an encoded absolute path resolves to itself");
    } else {
        fuzz::check(FileHint::form(encoded) == FileHint::Form::relative, "an encoded relative path is relative");
        fuzz::check(FileHint::resolve(encoded, QStringLiteral("/lists/mix.parvik"), FileHint::BadEscapes::unresolvable)
                        == QStringLiteral("/lists/") + path,
                    "an encoded relative path resolves below the playlist's folder");
    }
    return 0;
}
