#include "Vessa/App/NowPlaying/EqualizerState.h"

#include "VessaCoreAVAudioEngine/EqualizerOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cmath>
#include <limits>
#include <optional>

namespace vessa {

namespace {

constexpr QLatin1String flatPreset{QT_TRANSLATE_NOOP("EqualizerPreset", "Flat")};

struct SavedState {
    EqualizerState::Gains bands{};
    bool bypassed = false;
    QString selectedPreset;
};

// A gain as the record stores it, or nothing when the value is not a number
// that a 32-bit float holds.
std::optional<float> storedGain(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double gain = value.toDouble();
    if (!std::isfinite(gain) || std::abs(gain) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(gain);
}

// The record with all three keys of the right types and exactly ten gains;
// nothing otherwise.
std::optional<SavedState> decodeSavedState(const QByteArray& bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue bands = object.value(QLatin1String("bands"));
    const QJsonValue bypassed = object.value(QLatin1String("bypassed"));
    const QJsonValue selectedPreset = object.value(QLatin1String("selectedPreset"));
    if (!bands.isArray() || !bypassed.isBool() || !selectedPreset.isString())
        return std::nullopt;
    const QJsonArray gains = bands.toArray();
    if (gains.size() != EqualizerState::bandCount)
        return std::nullopt;

    SavedState state;
    for (int band = 0; band < EqualizerState::bandCount; ++band) {
        const std::optional<float> gain = storedGain(gains.at(band));
        if (!gain)
            return std::nullopt;
        state.bands[static_cast<std::size_t>(band)] = *gain;
    }
    state.bypassed = bypassed.toBool();
    state.selectedPreset = selectedPreset.toString();
    return state;
}

QByteArray encodeSavedState(const EqualizerState::Gains& bands, bool bypassed, const QString& selectedPreset)
{
    QJsonArray gains;
    for (const float gain : bands)
        gains.append(static_cast<double>(gain));
    QJsonObject object;
    object.insert(QLatin1String("bands"), gains);
    object.insert(QLatin1String("bypassed"), bypassed);
    object.insert(QLatin1String("selectedPreset"), selectedPreset);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<SavedState> loadSavedState(const QSettings& settings)
{
    const QVariant stored = settings.value(EqualizerState::settingsKey);
    if (stored.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return decodeSavedState(stored.toByteArray());
}

} // namespace

const QHash<QString, EqualizerState::Gains>& EqualizerState::presets()
{
    static const QHash<QString, Gains> table{
        {flatPreset, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {QStringLiteral("Bass Boost"), {8, 6, 4, 2, 0, 0, 0, 0, 0, 0}},
        {QStringLiteral("Treble Boost"), {0, 0, 0, 0, 0, 0, 2, 4, 6, 8}},
        {QStringLiteral("Vocal"), {-2, -1, 0, 2, 4, 4, 2, 0, -1, -2}},
        {QStringLiteral("Rock"), {4, 3, 1, 0, -1, 0, 2, 4, 5, 5}},
        {QStringLiteral("Electronic"), {6, 5, 2, 0, -2, 0, 2, 4, 5, 6}},
        {QStringLiteral("Classical"), {0, 0, 0, 0, 0, 0, -2, -3, -2, -1}},
        {QStringLiteral("Loudness"), {6, 4, 0, 0, -2, 0, -1, 0, 4, 6}},
    };
    return table;
}

const QStringList& EqualizerState::presetOrder()
{
    static const QStringList order{
        flatPreset,
        QLatin1String(QT_TRANSLATE_NOOP("EqualizerPreset", "Bass Boost")),
        QLatin1String(QT_TRANSLATE_NOOP("EqualizerPreset", "Treble Boost")),
        QLatin1String(QT_TRANSLATE_NOOP("EqualizerPreset", "Vocal")),
        QLatin1String(QT_TRANSLATE_NOOP("EqualizerPreset", "Rock")),
        QLatin1String(QT_TRANSLATE_NOOP("EqualizerPreset", "Electronic")),
        QLatin1String(QT_TRANSLATE_NOOP("EqualizerPreset", "Classical")),
        QLatin1String(QT_TRANSLATE_NOOP("EqualizerPreset", "Loudness")),
    };
    return order;
}

const QStringList& EqualizerState::frequencyLabels()
{
    static const QStringList labels{
        QStringLiteral("32"), QStringLiteral("64"), QStringLiteral("125"), QStringLiteral("250"), QStringLiteral("500"),
        QStringLiteral("1k"), QStringLiteral("2k"), QStringLiteral("4k"),  QStringLiteral("8k"),  QStringLiteral("16k"),
    };
    return labels;
}

EqualizerState::EqualizerState(EqualizerOutput& output, QSettings& settings, QObject* parent)
    : QObject(parent), m_output(output), m_settings(settings), m_selectedPreset(flatPreset)
{
    if (const std::optional<SavedState> saved = loadSavedState(m_settings)) {
        m_bands = saved->bands;
        m_bypassed = saved->bypassed;
        m_selectedPreset = saved->selectedPreset;
    }
    pushBands();
    m_output.setEQBypassed(m_bypassed);
}

void EqualizerState::setBands(const Gains& bands)
{
    const bool changed = bands != m_bands;
    m_bands = bands;
    if (changed)
        emit bandsChanged();
    pushBands();
    setSelectedPreset(customPreset);
    save();
}

void EqualizerState::setBand(int band, float gain)
{
    if (band < 0 || band >= bandCount)
        return;
    Gains bands = m_bands;
    bands[static_cast<std::size_t>(band)] = gain;
    setBands(bands);
}

void EqualizerState::setBypassed(bool bypassed)
{
    const bool changed = bypassed != m_bypassed;
    m_bypassed = bypassed;
    if (changed)
        emit bypassedChanged();
    m_output.setEQBypassed(m_bypassed);
    save();
}

void EqualizerState::setSelectedPreset(const QString& name)
{
    const bool changed = name != m_selectedPreset;
    m_selectedPreset = name;
    if (changed)
        emit selectedPresetChanged();
    save();
}

void EqualizerState::applyPreset(const QString& name)
{
    const auto preset = presets().constFind(name);
    if (preset == presets().cend())
        return;
    const Gains gains = *preset;
    for (int band = 0; band < bandCount; ++band)
        m_output.setEQBandGain(band, gains[static_cast<std::size_t>(band)]);
    setBands(gains);
    setSelectedPreset(name);
    save();
}

void EqualizerState::pushBands()
{
    for (int band = 0; band < bandCount; ++band)
        m_output.setEQBandGain(band, m_bands[static_cast<std::size_t>(band)]);
}

void EqualizerState::save()
{
    m_settings.setValue(settingsKey, encodeSavedState(m_bands, m_bypassed, m_selectedPreset));
}

} // namespace vessa
