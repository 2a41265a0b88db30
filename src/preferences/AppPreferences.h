#pragma once

#include <QLatin1StringView>
#include <QSettings>
#include <QString>

#include <memory>

/**
 * The user's preferences: every key with its type and default, typed access to the store, and the
 * shared memory budget derived from them. Nothing is cached; each reader sees the store as it is now,
 * with this process's own writes included at once although they reach the file on a worker thread.
 *
 * A value that is absent, or stored with another type, reads as the key's default, so a store
 * edited by hand or by another version can never feed a wrong type into the program.
 */
class AppPreferences
{
public:
    template<typename T> struct Key
    {
        QLatin1StringView name;
        T defaultValue;
    };
    using BoolKey = Key<bool>;
    using IntegerKey = Key<qint64>;
    using StringKey = Key<QLatin1StringView>;

    static constexpr StringKey selectedVMTab{QLatin1StringView("selectedVMTab"),
                                             QLatin1StringView("windows")};
    static constexpr StringKey appearanceTheme{QLatin1StringView("appearanceTheme"),
                                               QLatin1StringView("system")};
    static constexpr StringKey appearanceAccent{QLatin1StringView("appearanceAccent"),
                                                QLatin1StringView("blue")};
    static constexpr BoolKey appearanceAnimations{QLatin1StringView("appearanceAnimations"), true};
    static constexpr BoolKey appearanceGlass{QLatin1StringView("appearanceGlass"), true};
    static constexpr IntegerKey newDeviceCores{QLatin1StringView("newDeviceCores"), 2};
    static constexpr IntegerKey newDeviceMemoryGB{QLatin1StringView("newDeviceMemoryGB"), 2};
    static constexpr BoolKey newDeviceSoftwareGPU{QLatin1StringView("newDeviceSoftwareGPU"), false};
    /** Its default depends on the host's memory: see multiMemoryGBDefault(). */
    static constexpr QLatin1StringView multiMemoryGBKey{"multiMemoryGB"};
    static constexpr BoolKey experimentalVPhoneEnabled{QLatin1StringView("experimentalVPhoneEnabled"), false};
    static constexpr BoolKey developerModeEnabled{QLatin1StringView("developerModeEnabled"), false};
    static constexpr BoolKey vphonePermanentlyBlocked{QLatin1StringView("vphonePermanentlyBlocked"), false};

    /** The closed range a settings stepper offers. */
    struct Range
    {
        qint64 minimum;
        qint64 maximum;
        friend bool operator==(const Range &, const Range &) = default;
    };

    /**
     * The user's preference store: the user-defaults domain on macOS, elsewhere a JSON file in the
     * user's configuration folder (the JSON format keeps booleans and integers typed, which INI does not).
     */
    static std::unique_ptr<QSettings> openStore();
    /** The typed JSON file format, registered with QSettings on first use. */
    static QSettings::Format jsonFormat();

    static bool read(const QSettings &store, const BoolKey &key);
    static qint64 read(const QSettings &store, const IntegerKey &key);
    static QString read(const QSettings &store, const StringKey &key);
    /** The stored budget in GB, or the host-dependent default. */
    static qint64 multiMemoryGB(const QSettings &store);

    static void write(QSettings &store, const BoolKey &key, bool value);
    static void write(QSettings &store, const IntegerKey &key, qint64 value);
    static void write(QSettings &store, const StringKey &key, const QString &value);
    static void setMultiMemoryGB(QSettings &store, qint64 gigabytes);
    /**
     * Writes reach the file on a worker thread, so that the window never waits for the disk; every
     * reader in this process sees a write at once. This waits until the file holds them all.
     */
    static void flush();
    /** Removes every stored preference, after the writes still on their way, so none lands afterwards. */
    static void clear(QSettings &store);

    /** Ceiling in MB for the memory of all running Android devices and the Linux machine together. */
    static qint64 memoryBudgetMB(const QSettings &store);

    static Range newDeviceCoresRange(int activeProcessors);
    static Range newDeviceMemoryGBRange(qint64 physicalMemory);
    static Range multiMemoryGBRange(qint64 physicalMemory);
    /** Everything but 4 GB of the host's memory, or 1 GB on a host with less than 5 GiB. */
    static qint64 multiMemoryGBDefault(qint64 physicalMemory);
};
