#include "VessaCore/PathExtension.h"

namespace vessa {

QString lastPathComponent(const QString& path)
{
    QStringView view(path);
    while (view.size() > 1 && view.endsWith(u'/'))
        view.chop(1);
    const qsizetype slash = view.lastIndexOf(u'/');
    if (slash < 0 || view.size() == 1)
        return view.toString();
    return view.mid(slash + 1).toString();
}

QString pathExtension(const QString& path)
{
    const QString name = lastPathComponent(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || dot == name.size() - 1)
        return QString();
    return name.mid(dot + 1);
}

} // namespace vessa
