// The fixed handle table: slot index in the low bits of a handle, the slot's
// generation above it.
#include "platform/posix/handle_table.h"

#include <pthread.h>

#include <cerrno>

namespace telmor::platform::posix {
namespace {

constexpr unsigned kIndexBits = 10;
constexpr uint32_t kSlotCount = 1u << kIndexBits;  // 1024 handles open at once
constexpr uint32_t kIndexMask = kSlotCount - 1;
constexpr uint32_t kGenerationLimit = 1u << (32 - kIndexBits);

struct HandleSlot {
    uint32_t generation;  // 1.. ; 0 only before first use
    ObjectKind kind;
    uint16_t object;
};

pthread_mutex_t g_tableLock = PTHREAD_MUTEX_INITIALIZER;
HandleSlot g_slots[kSlotCount];
// Allocation goes round the table so a freed value is reused as late as
// possible.
uint32_t g_nextSlot;

thread_local uint32_t t_lastError;

Handle MakeHandle(uint32_t index, uint32_t generation) {
    return (generation << kIndexBits) | index;
}

}  // namespace

void SetLastErrorCode(int code) {
    t_lastError = static_cast<uint32_t>(code);
}

bool Fail(int code) {
    SetLastErrorCode(code);
    return false;
}

TableGuard::TableGuard() {
    pthread_mutex_lock(&g_tableLock);
}
TableGuard::~TableGuard() {
    pthread_mutex_unlock(&g_tableLock);
}

Handle AllocateHandle(ObjectKind kind, uint16_t object) {
    for (uint32_t step = 0; step < kSlotCount; ++step) {
        uint32_t index = (g_nextSlot + step) & kIndexMask;
        HandleSlot& slot = g_slots[index];
        if (slot.kind != ObjectKind::Free) continue;
        // Generation 0 is skipped so that no handle value is ever 0.
        slot.generation = slot.generation + 1 < kGenerationLimit ? slot.generation + 1 : 1;
        slot.kind = kind;
        slot.object = object;
        g_nextSlot = (index + 1) & kIndexMask;
        return MakeHandle(index, slot.generation);
    }
    SetLastErrorCode(EMFILE);
    return kNullHandle;
}

bool LookupHandle(Handle handle, ObjectKind kind, uint16_t* object) {
    const HandleSlot& slot = g_slots[handle & kIndexMask];
    if (handle == kNullHandle || slot.kind != kind ||
        MakeHandle(handle & kIndexMask, slot.generation) != handle) {
        return false;
    }
    *object = slot.object;
    return true;
}

void FreeHandle(Handle handle) {
    HandleSlot& slot = g_slots[handle & kIndexMask];
    if (MakeHandle(handle & kIndexMask, slot.generation) == handle) slot.kind = ObjectKind::Free;
}

ObjectKind KindOf(Handle handle) {
    const HandleSlot& slot = g_slots[handle & kIndexMask];
    if (handle == kNullHandle || MakeHandle(handle & kIndexMask, slot.generation) != handle)
        return ObjectKind::Free;
    return slot.kind;
}

}  // namespace telmor::platform::posix

namespace telmor::platform {

uint32_t LastError() {
    return posix::t_lastError;
}

}  // namespace telmor::platform
