// The key-value unit's configuration messages (u-blox 9 and 10): VALSET,
// VALGET and VALDEL over the key store, and CFG-CFG moving whole layers.
#include "ReceiverModelPrivate.h"

#include "Generation.h"
#include "KeyTable.h"
#include "NavOutput.h"

#include <QFileInfo>

namespace VarnexSim {
namespace {

using Answer = ReceiverModel::Answer;

constexpr quint8 kCfg = 0x06;
constexpr quint8 kCfgValGet = 0x8B;
// Items one VALSET, VALGET or VALDEL message may carry, and one VALGET reply holds.
constexpr int kMaxItems = 64;

// VALSET version 1's transaction byte.
enum Transaction : quint8 { kNone = 0, kStart = 1, kOngoing = 2, kApply = 3 };

quint64 Le(const QByteArray& p, int offset, int bytes)
{
    quint64 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | quint8(p[offset + i]);
    return v;
}

void PutLe(QByteArray& p, quint64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p.append(char((v >> (8 * i)) & 0xFF));
}

Answer Ack() { return Answer{Answer::Kind::Ack, {}, 0, {}}; }
Answer Nak(const QString& why) { return Answer{Answer::Kind::Nak, {}, 0, why}; }

// The item/value pairs from `offset` on. False when an item is unknown (its
// size, and so where the next one starts, is unknown too) or one is cut short.
bool ParseWrites(const QByteArray& p, int offset, quint8 layers, int generation, std::vector<KeyWrite>& writes)
{
    while (offset < p.size()) {
        if (offset + 4 > p.size())
            return false;
        const quint32 id = quint32(Le(p, offset, 4));
        const KeyInfo* key = FindKey(id, generation);
        const int bytes = ValueBytes(id);
        if (!key || offset + 4 + bytes > p.size())
            return false;
        writes.push_back(KeyWrite{id, Le(p, offset + 4, bytes), layers});
        offset += 4 + bytes;
    }
    return true;
}

// The ids a VALGET or VALDEL asks for, after its 4-byte header; false when
// the list is empty, too long or cut short.
bool ParseIds(const QByteArray& p, std::vector<quint32>& ids)
{
    const qsizetype n = (p.size() - 4) / 4;
    if (p.size() < 8 || (p.size() - 4) % 4 != 0 || n > kMaxItems)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        ids.push_back(quint32(Le(p, int(4 + 4 * i), 4)));
    return true;
}

} // namespace

KeyValues ReceiverModel::DefaultLayer() const
{
    KeyValues items = DefaultKeys(generation_);
    if (options_.fill > 0)
        for (MsgKey key : BusyMessages())
            if (const quint32 id = MsgOutKey(key, linkPort_); FindKey(id, generation_))
                items[id] = 1;
    return items;
}

// Power-up of a key-value unit: BBR and Flash as they were (from the image
// file when there is one), RAM from them over Default.
void ReceiverModel::StartKeyStore()
{
    if (!flashPath_.isEmpty() && QFileInfo::exists(flashPath_))
        LoadKeyImage(flashPath_, keys_, lastError_);
    const KeyValues defaults = DefaultLayer();
    keys_.ram = Merged(keys_.bbr, keys_.flash, defaults);
    running_ = Factory();
    ApplyKeys(keys_.ram, running_);
    flash_ = Factory();
    ApplyKeys(Merged({}, keys_.flash, defaults), flash_);
    transactionOpen_ = false;
    pending_.clear();
}

// After a write to BBR or Flash: the image file, and the flash as a running configuration.
bool ReceiverModel::StoreKeyLayers()
{
    flash_ = Factory();
    ApplyKeys(Merged({}, keys_.flash, DefaultLayer()), flash_);
    return flashPath_.isEmpty() || SaveKeyImage(flashPath_, keys_, generation_, lastError_);
}

void ReceiverModel::CancelTransaction()
{
    transactionOpen_ = false;
    transactionBad_ = false;
    pending_.clear();
}

// RAM acts at once: the running configuration follows its items, and the
// link moves when its rate changed (the ACK leaving at the old rate first).
ReceiverModel::Answer ReceiverModel::RunFromKeys()
{
    const qint32 oldBaud = LinkBaud();
    const double oldPeriod = NavPeriod();
    ApplyKeys(keys_.ram, running_);
    Reschedule(oldPeriod, handlingTime_);
    Answer a = Ack();
    if (LinkBaud() != oldBaud)
        a.linkMovesTo = LinkBaud();
    return a;
}

// All or nothing: every write names a layer, and every value bound for RAM
// is valid, or none is made. Values bound only for BBR or Flash are not checked.
ReceiverModel::Answer ReceiverModel::CommitWrites(const std::vector<KeyWrite>& writes)
{
    quint8 touched = 0;
    for (const KeyWrite& w : writes) {
        if ((w.layers & (kRamBit | kBbrBit | kFlashBit)) == 0)
            return Nak(QStringLiteral("no layer"));
        if ((w.layers & kRamBit) && !ValueValid(*FindKey(w.id, generation_), w.value))
            return Nak(QStringLiteral("invalid value for %1").arg(FindKey(w.id, generation_)->name));
        touched |= w.layers;
    }
    for (const KeyWrite& w : writes) { // a repeated item: the last value wins
        if (w.layers & kRamBit)
            keys_.ram[w.id] = w.value;
        if (w.layers & kBbrBit)
            keys_.bbr[w.id] = w.value;
        if (w.layers & kFlashBit)
            keys_.flash[w.id] = w.value;
    }
    if ((touched & (kBbrBit | kFlashBit)) && !StoreKeyLayers())
        return Nak(lastError_);
    return (touched & kRamBit) ? RunFromKeys() : Ack();
}

// Version 0, or version 1 without a transaction: one message, at most 64
// items, applied at once. In a transaction each message is acknowledged as it
// comes and only the one that applies it reports a fault; a transaction
// continued or applied while none is open is refused.
ReceiverModel::Answer ReceiverModel::OnValSet(const QByteArray& p)
{
    const quint8 version = p.size() >= 4 ? quint8(p[0]) : 0xFF;
    const quint8 transaction = version == 1 ? quint8(p[2]) : quint8(kNone);
    if (version > 1 || transaction > kApply) {
        CancelTransaction();
        return Nak(QStringLiteral("wrong version or transaction"));
    }
    std::vector<KeyWrite> writes;
    const bool parsed = ParseWrites(p, 4, quint8(p[1]), generation_, writes);
    if (transaction == kNone) {
        CancelTransaction();
        if (!parsed)
            return Nak(QStringLiteral("unknown item"));
        if (int(writes.size()) > kMaxItems)
            return Nak(QStringLiteral("more than 64 items"));
        return CommitWrites(writes);
    }
    if (transaction == kStart)
        CancelTransaction();
    else if (!transactionOpen_)
        return Nak(QStringLiteral("no transaction open"));
    transactionOpen_ = true;
    transactionBad_ = transactionBad_ || !parsed;
    pending_.insert(pending_.end(), writes.begin(), writes.end());
    if (transaction != kApply)
        return Ack();
    const bool bad = transactionBad_;
    const std::vector<KeyWrite> all = std::move(pending_);
    CancelTransaction();
    return bad ? Nak(QStringLiteral("unknown item in the transaction")) : CommitWrites(all);
}

// The items asked for, from one layer, skipping `position` of them; at most
// 64 in the reply, an ACK-ACK after it. A layer holding none of them (an
// empty BBR or Flash, or a position past the last), or any unknown item, is
// refused.
ReceiverModel::Answer ReceiverModel::OnValGet(const QByteArray& p)
{
    std::vector<quint32> ids;
    if (!ParseIds(p, ids) || p[0] != 0)
        return Nak(QStringLiteral("wrong length or version"));
    const quint8 layer = quint8(p[1]);
    const int position = int(Le(p, 2, 2));
    const KeyValues defaults = DefaultLayer();
    const KeyValues* source = layer == quint8(KeyLayer::Ram)       ? &keys_.ram
                              : layer == quint8(KeyLayer::Bbr)     ? &keys_.bbr
                              : layer == quint8(KeyLayer::Flash)   ? &keys_.flash
                              : layer == quint8(KeyLayer::Default) ? &defaults
                                                                   : nullptr;
    if (!source)
        return Nak(QStringLiteral("no such layer"));
    std::vector<std::pair<quint32, quint64>> held;
    for (quint32 id : ids) {
        const std::vector<const KeyInfo*> named = KeysNamed(id, generation_);
        if (named.empty())
            return Nak(QStringLiteral("unknown item 0x%1").arg(id, 8, 16, QChar('0')));
        for (const KeyInfo* k : named)
            if (const auto it = source->find(k->id); it != source->end())
                held.emplace_back(it->first, it->second);
    }
    if (int(held.size()) <= position)
        return Nak(QStringLiteral("nothing held"));
    QByteArray r;
    PutLe(r, 1, 1); // version
    PutLe(r, layer, 1);
    PutLe(r, quint64(position), 2);
    for (int i = position; i < int(held.size()) && i < position + kMaxItems; ++i) {
        PutLe(r, held[i].first, 4);
        PutLe(r, held[i].second, ValueBytes(held[i].first));
    }
    Answer a{Answer::Kind::Reply, EncodeUbx(kCfg, kCfgValGet, r), 0, {}};
    a.ackAfterReply = true;
    return a;
}

// Items removed from BBR and/or Flash (they act after a load or restart);
// removing one a layer does not hold is fine. No wildcards. A version 1
// transaction byte is accepted and the deletion made at once.
ReceiverModel::Answer ReceiverModel::OnValDel(const QByteArray& p)
{
    std::vector<quint32> ids;
    if (!ParseIds(p, ids) || quint8(p[0]) > 1)
        return Nak(QStringLiteral("wrong length or version"));
    const quint8 layers = quint8(p[1]);
    if ((layers & (kBbrBit | kFlashBit)) == 0)
        return Nak(QStringLiteral("no layer"));
    for (quint32 id : ids)
        if (IsWildcard(id) || !FindKey(id, generation_))
            return Nak(QStringLiteral("unknown item 0x%1").arg(id, 8, 16, QChar('0')));
    for (quint32 id : ids) {
        if (layers & kBbrBit)
            keys_.bbr.erase(id);
        if (layers & kFlashBit)
            keys_.flash.erase(id);
    }
    return StoreKeyLayers() ? Ack() : Nak(lastError_);
}

// CFG-CFG on a key-value unit: any section bit means every item. Clear
// empties BBR and Flash, save copies RAM into them (the device mask's bit 0
// BBR, bit 1 Flash; both when the mask is absent), load takes RAM from BBR,
// Flash and Default by priority; in that order.
ReceiverModel::Answer ReceiverModel::OnKeyCfg(const QByteArray& p)
{
    if (p.size() != 12 && p.size() != 13)
        return Nak(QStringLiteral("wrong length"));
    const bool clear = Le(p, 0, 4) != 0;
    const bool save = Le(p, 4, 4) != 0;
    const bool load = Le(p, 8, 4) != 0;
    const quint8 devices = p.size() == 13 ? quint8(p[12]) : 0x03;
    const bool bbr = devices & 0x01;
    const bool flash = devices & 0x02;
    if (clear && bbr)
        keys_.bbr.clear();
    if (clear && flash)
        keys_.flash.clear();
    if (save && bbr)
        keys_.bbr = keys_.ram;
    if (save && flash)
        keys_.flash = keys_.ram;
    if ((clear || save) && !StoreKeyLayers())
        return Nak(lastError_);
    if (load && faults_.nakLoad)
        return Nak(QStringLiteral("load refused"));
    if (!load)
        return Ack();
    keys_.ram = Merged(keys_.bbr, keys_.flash, DefaultLayer());
    return RunFromKeys();
}

} // namespace VarnexSim
