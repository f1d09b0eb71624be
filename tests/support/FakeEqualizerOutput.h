#pragma once

#include "VessaCoreAVAudioEngine/EqualizerOutput.h"

#include <QList>
#include <QString>

namespace vessa::test {

// Records every equaliser call as text, in order: "band 3 = 1.5", "bypass on",
// "bypass off".
class FakeEqualizerOutput final : public vessa::EqualizerOutput {
public:
    void setEQBandGain(int band, float gain) override
    {
        calls.append(QStringLiteral("band %1 = %2").arg(band).arg(double(gain)));
    }
    void setEQBypassed(bool bypassed) override
    {
        calls.append(bypassed ? QStringLiteral("bypass on") : QStringLiteral("bypass off"));
    }

    QStringList calls;
};

} // namespace vessa::test
