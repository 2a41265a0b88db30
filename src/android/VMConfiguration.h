#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QSettings;

/**
 * The hardware settings of one Android device, as the user edits them and as they are stored in
 * the device's configuration.json. Every use goes through validated(), so a stored value that
 * this host cannot give (written elsewhere or by hand) is clamped rather than refused.
 */
struct VMConfiguration
{
    /** A screen the device can have; the label is what is stored and shown. */
    struct ScreenPreset
    {
        QString label;
        int width;
        int height;
        int density;
    };

    qint64 cores = 4;
    qint64 memoryMB = 4096;
    QString screen = screenPresets().first().label;
    bool softwareGPU = false;

    /** The screens a device may have, in the order the screen picker offers them; the first is the default.
     */
    static const QList<ScreenPreset> &screenPresets();
    /** The preset with this exact label, or the default one for any other text. */
    static const ScreenPreset &screenPreset(const QString &label);

    /** Used when a device has no readable configuration; not validated, so it is the same on every host. */
    static VMConfiguration defaultConfiguration();

    /** A newly added device's configuration: the new-device preferences in `store`, validated. */
    static VMConfiguration forNewDevice(const QSettings &store);

    /** A copy clamped to what the current host can give. */
    VMConfiguration validated() const;

    /** "software" or "auto": the emulator's GPU mode for this configuration. */
    QString gpuMode() const;

    /** The complete text of the AVD's config.ini; `imagePath` is the system image folder, without trailing
     * separator. */
    QString ini(const QString &imagePath) const;
    /** The emulator's arguments for a start on console port `port`. */
    QStringList arguments(int port) const;

    /** Compact JSON object with exactly the four fields. */
    QByteArray toJson() const;
    /** The configuration in `json`, or nothing unless all four fields are present with their types. */
    static std::optional<VMConfiguration> fromJson(const QByteArray &json);
    /**
     * The configuration stored at `path` as it was written, or the validated default when the file
     * is missing, unreadable or does not decode. The file itself is left alone.
     */
    static VMConfiguration load(const QString &path);

    friend bool operator==(const VMConfiguration &, const VMConfiguration &) = default;
};
