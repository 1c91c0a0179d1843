#include "profiles/Fitness.h"

#include "profiles/StepFrames.h"

#include <QStringList>

#include <algorithm>

namespace SetupOutputs {

using namespace VarnexCommsRoutines;

std::vector<Form> RefusedForms(const Profile& profile, int generation)
{
    std::vector<Form> refused;
    for (const Step& step : profile.steps)
        for (const auto& frame : StepFrames(step))
            if (const auto form = FormOf(frame); form && SupportOf(*form, generation) == Support::Refuses
                                                 && std::find(refused.begin(), refused.end(), *form) == refused.end())
                refused.push_back(*form);
    return refused;
}

QString Misfit(const Profile& profile, const ReceiverVersion& version)
{
    const ReceiverKind kind = KindOf(version);
    const QString name = QString::fromUtf8(profile.name);
    const QString receiver = Describe(kind, version);
    // A key-value generation reads and writes its own profiles; an older one
    // has a built-in device written for it.
    // A built-in device is named by its key; a file's device by the word.
    const bool builtIn = FindProfile(QLatin1String(profile.key)) == &profile;
    const QString device = builtIn ? QLatin1String(profile.key) : QStringLiteral("DEVICE");
    const QString next =
        kind.generation >= 5
            ? QStringLiteral("read a golden unit of its generation (varnexconfig read --port PORT --out FILE), or write "
                             "the device for it (varnexconfig profile %1 --generation %2 --out FILE), then configure "
                             "with --profile FILE")
                  .arg(device)
                  .arg(kind.generation == 20 ? 10 : kind.generation)
            : QStringLiteral("read a golden unit of its generation (varnexconfig read --port PORT --out FILE), then "
                             "configure with --profile FILE");
    if (!profile.generations.empty()
        && std::find(profile.generations.begin(), profile.generations.end(), kind.generation) == profile.generations.end()) {
        QStringList written;
        for (const int g : profile.generations)
            written << GenerationName(g);
        return QStringLiteral("%1 is written for %2, and this receiver is a %3; it is left as it was found. To go on, %4")
            .arg(name, written.join(QStringLiteral(", ")), receiver, next);
    }
    const std::vector<Form> refused = RefusedForms(profile, kind.generation);
    if (refused.empty())
        return {};
    QStringList messages;
    for (const Form f : refused)
        messages << QLatin1String(FormName(f));
    return QStringLiteral("%1 cannot run on this receiver, a %2, which does not take %3; it is left as it was found. "
                          "To go on, %4")
        .arg(name, receiver, messages.join(QStringLiteral(", ")), next);
}

} // namespace SetupOutputs
