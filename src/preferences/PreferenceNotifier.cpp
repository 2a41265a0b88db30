#include "preferences/PreferenceNotifier.h"

PreferenceNotifier *PreferenceNotifier::instance()
{
    static auto *notifier = new PreferenceNotifier;
    return notifier;
}
