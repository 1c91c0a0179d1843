#include "profiles/Translation.h"

#include "link/UbxKeys.h"
#include "link/UbxMessages.h"
#include "receiver_config/Generation.h"
#include "receiver_config/Payloads.h"

#include <QString>

#include <algorithm>
#include <iterator>
#include <map>

namespace Translation {
namespace {

using namespace SetupOutputs;
namespace Msg = UbxMessages;
using VarnexCommsRoutines::Form;
using VarnexCommsRoutines::Support;
using VarnexCommsRoutines::SupportOf;

// The older navigation block's fields, as its layout gives them.
struct OlderField {
    std::size_t offset;
    int width;
    const char* name;
};
constexpr OlderField kPlatform{0, 1, "platform model"};
constexpr OlderField kMinElevation{5, 1, "min SV elevation"};
constexpr OlderField kDgpsTimeout{7, 1, "DGPS timeout"};
constexpr OlderField kPdop{16, 2, "PDOP mask"};
constexpr OlderField kTdop{18, 2, "TDOP mask"};
constexpr OlderField kPacc{20, 2, "position accuracy mask"};
constexpr OlderField kTacc{22, 2, "time accuracy mask"};
constexpr OlderField kStatic{26, 1, "static threshold"};
// Fields CFG-NAV5 and the navigation items have no counterpart for.
constexpr OlderField kUntranslated[] = {
    {1, 1, "min SVs"},
    {2, 1, "max SVs"},
    {3, 1, "C/N0 conditional limit"},
    {4, 1, "C/N0 absolute limit"},
    {6, 1, "DGPS timetag rounding"},
    {8, 1, "PR correction timeout"},
    {9, 1, "CP correction timeout"},
    {10, 2, "carrier-lock-time conditional limit"},
    {12, 2, "carrier-lock-time absolute limit"},
    {14, 1, "DR epochs"},
    {15, 1, "navigation options"},
    {24, 2, "frequency accuracy mask"},
};

// The older block's platform numbers run one below CFG-NAV5's dynamic model
// from stationary on (1 stationary there is 2 here, airborne 5-7 is 6-8); 0
// (portable) is 0 in both.
std::int64_t DynamicModel(std::int64_t platform) { return platform == 0 ? 0 : platform + 1; }

// What every built-in time pulse carries besides its interval and length.
constexpr std::int64_t kCableDelayNs = 50, kRfGroupDelayNs = 820, kUserDelayNs = 0;
// CFG-TP5 flags: active, locked to GNSS time, the length (not a duty
// cycle), first edge rising (CFG-TP's positive pulse), on the GPS grid.
constexpr std::uint32_t kTp5Flags = 1u << 0 | 1u << 1 | 1u << 4 | 1u << 6 | 1u << 7;

class Writer {
public:
    Writer(const Profile& device, int generation)
        : generation_(generation), keys_(generation >= 9), oneUart_(generation >= 10),
          out_(std::make_unique<ProfileFile::LoadedProfile>(std::string(device.name) + " for " +
                                                                VarnexCommsRoutines::GenerationName(generation).toStdString(),
                                                            device.nmeaPort, device.connectFailure))
    {
    }

    std::unique_ptr<ProfileFile::LoadedProfile> Finish(const Profile& device)
    {
        for (const Step& step : device.steps)
            std::visit([this](const auto& kind) { Translate(kind); }, step);
        out_->SetGenerations({generation_});
        out_->SetUntranslated(untranslated_);
        return std::move(out_);
    }

private:
    bool Takes(Form form) const { return SupportOf(form, generation_) == Support::Takes; }
    // An item set twice keeps the value set last, as the device's steps do.
    void Item(std::uint32_t id, std::int64_t value, std::string from)
    {
        const auto it = std::find_if(items_.begin(), items_.end(), [id](const auto& i) { return i.id == id; });
        if (it == items_.end())
            items_.push_back({id, value});
        else
            it->value = value;
        out_->NoteItem(id, std::move(from));
    }
    void Lost(std::string what) { untranslated_.push_back(std::move(what)); }
    std::int64_t Older(std::span<const std::uint8_t> block, const OlderField& f)
    {
        return UbxProtocol::LittleEndianAt(block, f.offset, f.width);
    }

    void Translate(const Reset&)
    {
        out_->Add(Reset{keys_ ? (oneUart_ ? ResetForm::KeysOneUart : ResetForm::Keys) : ResetForm::SixPorts});
    }
    void Translate(const Rate& r)
    {
        if (!keys_)
            return out_->Add(r);
        Item(UbxKeys::Named("CFG-RATE-MEAS"), std::int64_t(r.period), "CFG-RATE measRate (ms)");
        Item(UbxKeys::Named("CFG-RATE-NAV"), r.navRate, "CFG-RATE navRate (cycles)");
    }
    void Translate(const Navigation& n)
    {
        const uBloxLowLevelComms::UbxBuffer frame = Payloads::CfgNav(n.block);
        const std::span block(frame.begin() + UbxProtocol::kPayloadStart, Payloads::kNavBlockSize);
        for (const OlderField& f : kUntranslated)
            Lost("CFG-NAV " + std::string(f.name) + " = " + std::to_string(Older(block, f)));
        const std::int64_t model = DynamicModel(Older(block, kPlatform));
        if (keys_) {
            Item(UbxKeys::Named("CFG-NAVSPG-DYNMODEL"), model, "CFG-NAV platform model + 1 (the numbering differs)");
            Item(UbxKeys::Named("CFG-NAVSPG-INFIL_MINELEV"), Older(block, kMinElevation), "CFG-NAV min SV elevation (deg)");
            Item(UbxKeys::Named("CFG-NAVSPG-OUTFIL_PDOP"), Older(block, kPdop), "CFG-NAV PDOP mask (0.1)");
            Item(UbxKeys::Named("CFG-NAVSPG-OUTFIL_TDOP"), Older(block, kTdop), "CFG-NAV TDOP mask (0.1)");
            Item(UbxKeys::Named("CFG-NAVSPG-OUTFIL_PACC"), Older(block, kPacc), "CFG-NAV position accuracy mask (m)");
            Item(UbxKeys::Named("CFG-NAVSPG-OUTFIL_TACC"), Older(block, kTacc), "CFG-NAV time accuracy mask (m)");
            Lost("CFG-NAV " + std::string(kDgpsTimeout.name) + " = " + std::to_string(Older(block, kDgpsTimeout)));
            Lost("CFG-NAV " + std::string(kStatic.name) + " = " + std::to_string(Older(block, kStatic)));
            return;
        }
        Navigation5 n5;
        const auto set = [&](const Msg::Field& f, std::int64_t value) { Msg::PutValue(n5.block, f, value); };
        set(Msg::FieldNamed(Msg::kNav5Fields, "dynModel"), model);
        set(Msg::FieldNamed(Msg::kNav5Fields, "minElev"), Older(block, kMinElevation));
        set(Msg::FieldNamed(Msg::kNav5Fields, "pDop"), Older(block, kPdop));
        set(Msg::FieldNamed(Msg::kNav5Fields, "tDop"), Older(block, kTdop));
        set(Msg::FieldNamed(Msg::kNav5Fields, "pAcc"), Older(block, kPacc));
        set(Msg::FieldNamed(Msg::kNav5Fields, "tAcc"), Older(block, kTacc));
        set(Msg::FieldNamed(Msg::kNav5Fields, "staticHoldThresh"), Older(block, kStatic));
        set(Msg::FieldNamed(Msg::kNav5Fields, "dgnssTimeOut"), Older(block, kDgpsTimeout));
        // dyn, minEl, posMask, timeMask, staticHoldMask, dgpsMask
        set(Msg::FieldNamed(Msg::kNav5Fields, "mask"), 1 << 0 | 1 << 1 | 1 << 4 | 1 << 5 | 1 << 6 | 1 << 7);
        out_->NoteStep(out_->Profile().steps.size(),
                       "from CFG-NAV: dynamic_model = platform model + 1 (the numbering differs), min_elevation_deg, "
                       "the DOP and accuracy masks, static_hold_threshold_cm_s = static threshold, dgnss_timeout_s = "
                       "DGPS timeout");
        out_->Add(n5);
    }
    void Translate(const TimePulse& t)
    {
        if (keys_) {
            Item(UbxKeys::Named("CFG-TP-TP1_ENA"), 1, "CFG-TP status (a pulse)");
            Item(UbxKeys::Named("CFG-TP-PULSE_DEF"), 0, "CFG-TP interval: a period");
            Item(UbxKeys::Named("CFG-TP-PULSE_LENGTH_DEF"), 1, "CFG-TP length: a length, not a ratio");
            Item(UbxKeys::Named("CFG-TP-PERIOD_TP1"), t.interval, "CFG-TP interval (us)");
            Item(UbxKeys::Named("CFG-TP-PERIOD_LOCK_TP1"), t.interval, "CFG-TP interval (us)");
            Item(UbxKeys::Named("CFG-TP-LEN_TP1"), t.length, "CFG-TP length (us)");
            Item(UbxKeys::Named("CFG-TP-LEN_LOCK_TP1"), t.length, "CFG-TP length (us)");
            Item(UbxKeys::Named("CFG-TP-POL_TP1"), 1, "CFG-TP status positive (1 taken as rising; not confirmed)");
            Item(UbxKeys::Named("CFG-TP-TIMEGRID_TP1"), 1, "CFG-TP timeRef GPS");
            Item(UbxKeys::Named("CFG-TP-ANT_CABLEDELAY"), kCableDelayNs, "CFG-TP antennaCableDelay (ns)");
            Item(UbxKeys::Named("CFG-TP-USER_DELAY_TP1"), kUserDelayNs, "CFG-TP userDelay (ns)");
            Lost("CFG-TP rfGroupDelay = " + std::to_string(kRfGroupDelayNs) + " ns");
            return;
        }
        if (Takes(Form::CfgTp))
            return out_->Add(t);
        TimePulse5 t5;
        const auto set = [&](const Msg::Field& f, std::int64_t value) { Msg::PutValue(t5.block, f, value); };
        set(Msg::FieldNamed(Msg::kTp5Fields, "antCableDelay"), kCableDelayNs);
        set(Msg::FieldNamed(Msg::kTp5Fields, "rfGroupDelay"), kRfGroupDelayNs);
        set(Msg::FieldNamed(Msg::kTp5Fields, "freqPeriod"), t.interval);
        set(Msg::FieldNamed(Msg::kTp5Fields, "freqPeriodLock"), t.interval);
        set(Msg::FieldNamed(Msg::kTp5Fields, "pulseLenRatio"), t.length);
        set(Msg::FieldNamed(Msg::kTp5Fields, "pulseLenRatioLock"), t.length);
        set(Msg::FieldNamed(Msg::kTp5Fields, "userConfigDelay"), kUserDelayNs);
        set(Msg::FieldNamed(Msg::kTp5Fields, "flags"), kTp5Flags);
        out_->NoteStep(out_->Profile().steps.size(),
                       "from CFG-TP: period and period_locked = interval (us), length and length_locked = length (us), "
                       "the delays as they were; flags 0xD3: active, locked to GNSS, a length, rising first "
                       "(positive), the GPS grid");
        out_->Add(t5);
    }
    void Translate(const MessageRate& m)
    {
        std::array<std::uint8_t, 6> rates{};
        if (m.rates.size() == 4)
            std::copy(m.rates.begin(), m.rates.end(), rates.begin());
        else if (m.port >= 0 && m.port < 4)
            rates[std::size_t(m.port)] = m.rate;
        const Msg::Message* named = Msg::FindOutput(m.msgClass, m.msgId);
        const QString name = named ? QLatin1String(named->name) : Msg::Name(m.msgClass, m.msgId);
        if (!keys_)
            return out_->Add(Output{m.msgClass, m.msgId, rates});
        const UbxKeys::Output* output = UbxKeys::FindOutput(m.msgClass, m.msgId);
        for (int port = 0; port < 4; ++port) {
            const bool has = !oneUart_ || port == 1;
            if (!output || !has) {
                if (rates[std::size_t(port)] != 0)
                    Lost(name.toStdString() + " rate " + std::to_string(rates[std::size_t(port)]) + " on port " +
                         std::to_string(port) + (output ? " (the unit has no such port)" : " (no output item)"));
                continue;
            }
            Item(UbxKeys::OutputKey(*output, port), rates[std::size_t(port)],
                 "CFG-MSG " + name.toStdString() + " port " + std::to_string(port));
        }
    }
    void Translate(const BaudRate& b)
    {
        if (!keys_)
            return out_->Add(b);
        if (b.port == 1 || (b.port == 2 && !oneUart_))
            return Item(b.port == 1 ? UbxKeys::Named("CFG-UART1-BAUDRATE") : UbxKeys::Named("CFG-UART2-BAUDRATE"), b.rate,
                        "CFG-PRT port " + std::to_string(b.port) + " baudRate (bit/s)");
        Lost("CFG-PRT port " + std::to_string(b.port) + " baudRate = " + std::to_string(b.rate));
    }
    void Translate(const Save& s)
    {
        if (!items_.empty())
            out_->Add(Keys{items_});
        out_->Add(s);
    }
    // A built-in device has none of these; a translation of a profile
    // already for a later generation keeps them as they are.
    template <typename Kind>
    void Translate(const Kind& k)
    {
        out_->Add(k);
    }

    int generation_;
    bool keys_, oneUart_;
    std::unique_ptr<ProfileFile::LoadedProfile> out_;
    std::vector<Payloads::KeyValue> items_;
    std::vector<std::string> untranslated_;
};

} // namespace

std::unique_ptr<ProfileFile::LoadedProfile> ForGeneration(const Profile& device, int generation)
{
    if (generation < 5 || generation > 10)
        return nullptr;
    return Writer(device, generation).Finish(device);
}

} // namespace Translation
