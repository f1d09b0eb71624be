#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace vessa::fuzz {

// One fuzz input: a few leading option bytes that steer the target, then the
// bytes under test. Seeds are written in the same layout.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    // The next option byte; 0 once the input is used up.
    std::uint8_t takeByte() { return m_taken < m_size ? m_data[m_taken++] : 0; }
    // Everything not taken yet.
    QByteArray rest() const;

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_taken = 0;
};

// Writes the bytes to a file of that name in this process's scratch folder
// (below $TMPDIR, removed at exit) and returns its path.
QString writeScratchFile(const QByteArray& bytes, const QString& fileName);

// A broken invariant: prints what was expected and aborts, which the fuzzer
// reports as a crash.
void check(bool condition, const char* expectation);

} // namespace vessa::fuzz
