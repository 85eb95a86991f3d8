// The fixed handle table: slot index in the low bits of a handle, the slot's
// generation above it.
#include "platform/win32/handle_table.h"

namespace telmor::platform::win32 {
namespace {

constexpr unsigned kIndexBits = 10;
constexpr uint32_t kSlotCount = 1u << kIndexBits;  // 1024 handles open at once
constexpr uint32_t kIndexMask = kSlotCount - 1;
constexpr uint32_t kGenerationLimit = 1u << (32 - kIndexBits);

struct Slot {
    uint32_t generation;  // 1.. ; 0 only before first use
    ObjectKind kind;
    bool closing;
    uint32_t users;
    void* object;
};

// Constant-initialised: usable from the first call, whichever thread makes it.
SRWLOCK g_lock = SRWLOCK_INIT;
Slot g_slots[kSlotCount];
// Allocation goes round the table so a freed value is reused as late as
// possible.
uint32_t g_nextSlot;

class TableGuard {
public:
    TableGuard() { AcquireSRWLockExclusive(&g_lock); }
    ~TableGuard() { ReleaseSRWLockExclusive(&g_lock); }
    TableGuard(const TableGuard&) = delete;
    TableGuard& operator=(const TableGuard&) = delete;
};

Handle MakeHandle(uint32_t index, uint32_t generation) {
    return (generation << kIndexBits) | index;
}

// The slot of a live handle (not being closed) of `kind`, or null.
Slot* LiveSlot(Handle handle, ObjectKind kind) {
    Slot& slot = g_slots[handle & kIndexMask];
    if (handle == kNullHandle || slot.kind == ObjectKind::Free || slot.closing ||
        MakeHandle(handle & kIndexMask, slot.generation) != handle) {
        return nullptr;
    }
    return kind == ObjectKind::Free || slot.kind == kind ? &slot : nullptr;
}

Pinned PinnedOf(const Slot& slot) {
    return Pinned{static_cast<uint32_t>(&slot - g_slots), slot.kind, slot.object};
}

}  // namespace

bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

Handle InstallObject(ObjectKind kind, void* object) {
    TableGuard guard;
    for (uint32_t step = 0; step < kSlotCount; ++step) {
        uint32_t index = (g_nextSlot + step) & kIndexMask;
        Slot& slot = g_slots[index];
        if (slot.kind != ObjectKind::Free) continue;
        // Generation 0 is skipped so that no handle value is ever 0.
        slot.generation = slot.generation + 1 < kGenerationLimit ? slot.generation + 1 : 1;
        slot.kind = kind;
        slot.closing = false;
        slot.users = 0;
        slot.object = object;
        g_nextSlot = (index + 1) & kIndexMask;
        return MakeHandle(index, slot.generation);
    }
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return kNullHandle;
}

bool PinObject(Handle handle, ObjectKind kind, Pinned* pinned) {
    TableGuard guard;
    Slot* slot = LiveSlot(handle, kind);
    if (slot == nullptr) return Fail(ERROR_INVALID_HANDLE);
    ++slot->users;
    *pinned = PinnedOf(*slot);
    return true;
}

bool BeginCloseObject(Handle handle, ObjectKind kind, Pinned* pinned) {
    TableGuard guard;
    Slot* slot = LiveSlot(handle, kind);
    if (slot == nullptr) return Fail(ERROR_INVALID_HANDLE);
    slot->closing = true;
    ++slot->users;
    *pinned = PinnedOf(*slot);
    return true;
}

uint32_t OtherUsers(const Pinned& pinned) {
    TableGuard guard;
    const uint32_t users = g_slots[pinned.slot].users;
    return users > 0 ? users - 1 : 0;
}

bool UnpinObject(const Pinned& pinned) {
    TableGuard guard;
    Slot& slot = g_slots[pinned.slot];
    return --slot.users == 0 && slot.closing;
}

void FreeSlot(const Pinned& pinned) {
    TableGuard guard;
    Slot& slot = g_slots[pinned.slot];
    slot.kind = ObjectKind::Free;
    slot.closing = false;
    slot.object = nullptr;
}

ObjectKind KindOf(Handle handle) {
    TableGuard guard;
    const Slot* slot = LiveSlot(handle, ObjectKind::Free);
    return slot != nullptr ? slot->kind : ObjectKind::Free;
}

}  // namespace telmor::platform::win32

namespace telmor::platform {

uint32_t LastError() {
    return GetLastError();
}

}  // namespace telmor::platform
