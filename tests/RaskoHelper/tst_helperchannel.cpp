#include "RaskoHelper/HelperChannel.h"
#include "RaskoHelper/PcmRing.h"

#include <QtTest>

#include <cstdint>
#include <thread>

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vessa;

namespace {

struct SocketPair {
    SocketPair()
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0)
            qFatal("no socket pair");
        program = std::make_unique<HelperChannel>(fds[0]);
        helper = std::make_unique<HelperChannel>(fds[1]);
    }
    std::unique_ptr<HelperChannel> program;
    std::unique_ptr<HelperChannel> helper;
};

// One raw packet, as a sender that dies after it would leave it.
void sendPacket(int fd, HelperMessageType type, bool more, const QByteArray& payload)
{
    const std::uint32_t header[2] = {std::uint32_t(type), more ? 1u : 0u};
    QByteArray packet(reinterpret_cast<const char*>(header), sizeof header);
    packet += payload;
    if (send(fd, packet.constData(), size_t(packet.size()), 0) != packet.size())
        qFatal("cannot send");
}

} // namespace

class HelperChannelTest : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void senderDiesInTheMiddleOfAMessage();
    void waitsEnd();
    void pcmRepliesStayInsideTheRing();
};

void HelperChannelTest::roundTrip_data()
{
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one packet") << QByteArray(HelperChannel::maxPacketPayload, 'a');
    QTest::newRow("just over one packet") << QByteArray(HelperChannel::maxPacketPayload + 1, 'b');
    QByteArray large(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7 + i / 4096);
    // Larger than the socket's buffer: the receiver drains while it is sent.
    QTest::newRow("several megabytes") << large;
}

void HelperChannelTest::roundTrip()
{
    QFETCH(QByteArray, payload);

    SocketPair pair;
    const HelperMessage sent{HelperMessageType::gmeScan, payload};
    HelperChannel::Status sendStatus = HelperChannel::Status::closed;
    std::jthread sender([&] { sendStatus = pair.program->send(sent); });
    HelperMessage received;
    QCOMPARE(pair.helper->receive(received), HelperChannel::Status::ok);
    sender.join();
    QCOMPARE(sendStatus, HelperChannel::Status::ok);
    QVERIFY(received == sent);
}

void HelperChannelTest::senderDiesInTheMiddleOfAMessage()
{
    // The worker sent the first packet of a long reply and died; the helper's
    // own reply follows. The reader gets that one, not a mix of both.
    SocketPair pair;
    sendPacket(pair.helper->fd(), HelperMessageType::trackInfos, true, "first half");
    sendPacket(pair.helper->fd(), HelperMessageType::crashed, false, {});
    sendPacket(pair.helper->fd(), HelperMessageType::pcm, false, "next");
    HelperMessage received;
    QCOMPARE(pair.program->receive(received), HelperChannel::Status::ok);
    QVERIFY(received == (HelperMessage{HelperMessageType::crashed, {}}));
    QCOMPARE(pair.program->receive(received), HelperChannel::Status::ok);
    QVERIFY(received == (HelperMessage{HelperMessageType::pcm, "next"}));
    // A closed peer ends the reading.
    pair.helper.reset();
    QCOMPARE(pair.program->receive(received), HelperChannel::Status::closed);
}

void HelperChannelTest::waitsEnd()
{
    SocketPair pair;
    HelperMessage received;
    const auto soon = HelperChannel::Clock::now() + std::chrono::milliseconds(20);
    QCOMPARE(pair.program->receive(received, soon), HelperChannel::Status::timedOut);

    const int wake = eventfd(0, EFD_CLOEXEC);
    std::jthread waker([wake] {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake, &one, sizeof one);
    });
    QCOMPARE(pair.program->receive(received, {}, wake), HelperChannel::Status::woken);
    // A sender blocked on a full socket is woken too.
    const HelperMessage big{HelperMessageType::gmeOpen, QByteArray(8 * 1024 * 1024, 'x')};
    QCOMPARE(pair.program->send(big, {}, wake), HelperChannel::Status::woken);
    waker.join();
    close(wake);
}

void HelperChannelTest::pcmRepliesStayInsideTheRing()
{
    // What a worker gone wrong may claim in a "pcm" reply: the program reads
    // only whole frames inside one slot.
    constexpr qint32 full = qint32(PcmRing::slotBytes);
    const struct {
        qint32 slot;
        qint32 bytes;
        bool valid;
    } cases[] = {{0, 4, true},         {PcmRing::slotCount - 1, full, true},
                 {-1, 4, false},       {PcmRing::slotCount, 4, false},
                 {0, 0, false},        {0, -4, false},
                 {0, full + 4, false}, {0, 6, false},
                 {1, 1 << 30, false}};
    for (const auto& row : cases)
        QVERIFY2(PcmRing::isValid(row.slot, row.bytes) == row.valid,
                 qPrintable(QStringLiteral("slot %1, %2 bytes").arg(row.slot).arg(row.bytes)));
    // The ring a helper gets is shared memory of every slot's size.
    const std::unique_ptr<PcmRing> ring = PcmRing::create();
    QVERIFY(ring && ring->fd() > PcmRing::helperFd);
    ring->slot(PcmRing::slotCount - 1)[PcmRing::slotBytes - 1] = 1;
}

QTEST_GUILESS_MAIN(HelperChannelTest)
#include "tst_helperchannel.moc"
