#include "RaskoLocalFile/IndexedFileDates.h"

#include "VessaCore/FileNameBytes.h"

#include <QHash>

namespace vessa {

void IndexedFileDates::add(QByteArrayView path, const QDateTime& date)
{
    // The table stays at most half full, so a search meets an empty slot soon.
    if ((m_dates.size() + 1) * 2 > m_slots.size())
        grow();
    const size_t slot = slotOf(path);
    if (m_slots[slot] != 0) {
        m_dates[m_slots[slot] - 1] = date;
        return;
    }
    m_paths.append(path);
    m_starts.push_back(m_paths.size());
    m_dates.push_back(date);
    m_found.push_back(false);
    m_slots[slot] = quint32(m_dates.size());
}

std::optional<QDateTime> IndexedFileDates::find(const QString& path)
{
    const std::optional<size_t> entry = entryOf(path);
    if (!entry)
        return std::nullopt;
    m_found[*entry] = true;
    return m_dates[*entry];
}

QStringList IndexedFileDates::notFound() const
{
    QStringList paths;
    for (size_t entry = 0; entry < m_dates.size(); ++entry) {
        if (!m_found[entry])
            paths.append(pathFromBytes(pathAt(entry)));
    }
    return paths;
}

void IndexedFileDates::forEach(const std::function<void(QByteArrayView path, const QDateTime& date)>& visit) const
{
    for (size_t entry = 0; entry < m_dates.size(); ++entry)
        visit(pathAt(entry), m_dates[entry]);
}

QByteArrayView IndexedFileDates::pathAt(size_t entry) const
{
    return QByteArrayView(m_paths).sliced(m_starts[entry], m_starts[entry + 1] - m_starts[entry]);
}

size_t IndexedFileDates::slotOf(QByteArrayView path) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = qHash(path) & mask;; slot = (slot + 1) & mask) {
        const quint32 held = m_slots[slot];
        if (held == 0 || pathAt(held - 1) == path)
            return slot;
    }
}

std::optional<size_t> IndexedFileDates::entryOf(const QString& path) const
{
    if (m_slots.empty())
        return std::nullopt;
    const quint32 held = m_slots[slotOf(pathToBytes(path))];
    return held == 0 ? std::nullopt : std::optional<size_t>(held - 1);
}

void IndexedFileDates::grow()
{
    m_slots.assign(std::max<size_t>(64, m_slots.size() * 2), 0);
    for (size_t entry = 0; entry < m_dates.size(); ++entry)
        m_slots[slotOf(pathAt(entry))] = quint32(entry + 1);
}

} // namespace vessa
