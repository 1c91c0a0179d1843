// A device held as a profile: the storage a loaded file (or a receiver read)
// lends out. The file is read in ProfileFileRead.cpp and written in
// ProfileFileWrite.cpp; each kind of step's keys are in StepKinds.cpp.
#include "profiles/ProfileFile.h"

#include <cctype>

namespace ProfileFile {

LoadedProfile::LoadedProfile(std::string name, std::int32_t nmeaPort, std::string connectFailure, std::string success)
    : name_(std::move(name)),
      connectFailure_(connectFailure.empty() ? DefaultConnectFailure() : std::move(connectFailure)),
      success_(success.empty() ? DefaultSuccess(name_) : std::move(success))
{
    for (const char c : name_)
        key_ += c == ' ' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
    profile_.key = key_.c_str();
    profile_.name = name_.c_str();
    profile_.setupCaption = name_.c_str();
    profile_.nmeaCaption = name_.c_str();
    profile_.nmeaPort = nmeaPort;
    profile_.connectFailure = connectFailure_.c_str();
    profile_.success = success_.c_str();
}

std::span<const std::uint8_t> LoadedProfile::Keep(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return {};
    payloads_.emplace_back(bytes.begin(), bytes.end());
    return payloads_.back();
}

void LoadedProfile::Add(SetupOutputs::Step step)
{
    if (auto* navigation = std::get_if<SetupOutputs::Navigation>(&step))
        navigation->block = Keep(navigation->block);
    if (auto* message = std::get_if<SetupOutputs::MessageRate>(&step))
        message->rates = Keep(message->rates);
    if (auto* keys = std::get_if<SetupOutputs::Keys>(&step)) {
        items_.emplace_back(keys->items.begin(), keys->items.end());
        keys->items = items_.back();
    }
    steps_.push_back(step);
    profile_.steps = steps_;
}

void LoadedProfile::SetGenerations(std::vector<int> generations)
{
    generations_ = std::move(generations);
    profile_.generations = generations_;
}

std::string DefaultConnectFailure()
{
    return "Failed to connect to the GPS module, please check it is connected correctly";
}

std::string DefaultSuccess(std::string_view name) { return "Configured for use with " + std::string(name); }

} // namespace ProfileFile
