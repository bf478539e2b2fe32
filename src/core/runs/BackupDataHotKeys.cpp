// The task hot keys of TBackupData and the main window's own hot key.
//
// Task hot keys take the ids 0..99 in list order; the show-window hot key is 9999. Our table of
// what each id holds answers "is this combination already ours?" without a round trip to the
// desktop; a trial grab under an id of its own answers "does another program hold it?", so testing
// a combination never drops the show-window hot key.
#include "core/runs/BackupData.h"
#include "core/runs/MainWindowCallbacks.h"
#include "core/util/Utils.h"
#include "platform/HotKeys.h"

#include <QObject>

namespace qv {

namespace {

const char *const kHotKeyFailed = "Hot key registering failed!";

std::pair<unsigned, unsigned> combinationOf(std::uint16_t shortCut)
{
    std::uint16_t key = 0;
    std::uint16_t modifiers = 0;
    ShortCutToHotKey(shortCut, key, modifiers);
    return {modifiers, key};
}

} // namespace

void TBackupData::SetHotKeyLayer(qv::HotKeys *keys)
{
    if (m_hotKeys != nullptr) {
        QObject::disconnect(m_hotKeys, nullptr, m_hotKeyContext.get(), nullptr);
    }
    m_hotKeys = keys;
    m_combinations.clear();
    if (keys == nullptr) {
        return;
    }
    QObject::connect(keys, &qv::HotKeys::hotKeyPressed, m_hotKeyContext.get(), [this](int id) {
        if (id == kShowWindowHotKeyId) {
            mainWindow().ShowAndRaise();
        } else {
            RunHotKeyTask(id);
        }
    });
}

void TBackupData::reportUnavailableHotKeys()
{
    if (m_hotKeys != nullptr && m_hotKeys->takeUnavailableReport()) {
        mainWindow().ShowMessage(CoreMessageKind::Information, m_hotKeys->unavailableReason().toStdString());
    }
}

bool TBackupData::registerCombination(int id, std::uint16_t shortCut)
{
    const auto combination = combinationOf(shortCut);
    m_combinations.erase(id);
    if (m_hotKeys == nullptr || !m_hotKeys->registerHotKey(id, combination.first, combination.second)) {
        return false;
    }
    m_combinations[id] = combination;
    return true;
}

void TBackupData::RegisterHotKeys()
{
    for (int id = 0; id < kHotKeySlotCount; ++id) {
        if (m_hotKeys != nullptr) {
            m_hotKeys->unregisterHotKey(id);
        }
        m_combinations.erase(id);
    }
    int n = 0;
    bool unavailable = m_hotKeys == nullptr || !m_hotKeys->isAvailable();
    for (const auto &task : Tasks) {
        if (n >= kHotKeySlotCount) {
            break;
        }
        if (task->HotKey == 0) {
            continue;
        }
        if (unavailable) {
            reportUnavailableHotKeys();
            break;
        }
        if (registerCombination(n, task->HotKey)) {
            HotKeys[static_cast<std::size_t>(n)] = THotKeySlot{n, task->ID};
            ++n;
        } else {
            mainWindow().ShowMessage(CoreMessageKind::Error, kHotKeyFailed);
        }
    }
    // Slots past the last registered one are cleared: only registered ids can arrive, and a
    // stale slot must never point at a task.
    for (int i = n; i < kHotKeySlotCount; ++i) {
        HotKeys[static_cast<std::size_t>(i)] = THotKeySlot{};
    }
}

bool TBackupData::CanRegisterHotKey(std::uint16_t shortCut, const std::string &exceptTaskID) const
{
    if (m_hotKeys == nullptr || !m_hotKeys->isAvailable()) {
        return false;
    }
    const auto combination = combinationOf(shortCut);
    for (const auto &[id, held] : m_combinations) {
        if (held != combination) {
            continue;
        }
        const bool ownSlot = !exceptTaskID.empty() && id >= 0 && id < kHotKeySlotCount &&
                             HotKeys[static_cast<std::size_t>(id)].TaskID == exceptTaskID;
        return ownSlot;
    }
    if (!m_hotKeys->registerHotKey(kTrialHotKeyId, combination.first, combination.second)) {
        return false;
    }
    m_hotKeys->unregisterHotKey(kTrialHotKeyId);
    return true;
}

bool TBackupData::RunHotKeyTask(int id)
{
    bool found = false;
    for (const THotKeySlot &slot : std::array<THotKeySlot, kHotKeySlotCount>(HotKeys)) {
        if (slot.Id != id) {
            continue;
        }
        TTask *task = FindTaskByID(slot.TaskID);
        if (task == nullptr) {
            continue;
        }
        found = true;
        const bool bringToFront = task->HotKeyBringToFront;
        RunTaskByID(slot.TaskID, kStartByHand);
        if (bringToFront) {
            mainWindow().ShowAndRaise();
        }
    }
    return found;
}

bool TBackupData::RegisterShowWindowHotKey(bool use, std::uint16_t shortCut)
{
    if (m_hotKeys != nullptr) {
        m_hotKeys->unregisterHotKey(kShowWindowHotKeyId);
    }
    m_combinations.erase(kShowWindowHotKeyId);
    if (!use || shortCut == 0) {
        return true;
    }
    if (m_hotKeys == nullptr || !m_hotKeys->isAvailable()) {
        reportUnavailableHotKeys();
        return false;
    }
    if (!registerCombination(kShowWindowHotKeyId, shortCut)) {
        mainWindow().ShowMessage(CoreMessageKind::Error, kHotKeyFailed);
        return false;
    }
    return true;
}

} // namespace qv
