#include "platform/event.h"

#include <windows.h>

#include <system_error>

namespace vantrel {
namespace {

// A wait of `ms` milliseconds; INFINITE itself would never time out.
DWORD Timeout(unsigned long ms) {
    return ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
}

}  // namespace

CEvent::CEvent() : m_handle(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (!m_handle)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateEvent");
}

CEvent::~CEvent() {
    CloseHandle(m_handle);
}

void CEvent::Set() {
    SetEvent(m_handle);
}

void CEvent::Reset() {
    ResetEvent(m_handle);
}

bool CEvent::IsSet() const {
    return WaitForSingleObject(m_handle, 0) == WAIT_OBJECT_0;
}

void CEvent::Wait() {
    WaitForSingleObject(m_handle, INFINITE);
}

bool CEvent::WaitFor(unsigned ms) {
    return WaitForSingleObject(m_handle, Timeout(ms)) == WAIT_OBJECT_0;
}

int WaitForAny(std::initializer_list<CEvent*> events, long timeoutMs) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    if (events.size() == 0 || events.size() > MAXIMUM_WAIT_OBJECTS) return -1;
    DWORD count = 0;
    for (CEvent* e : events) handles[count++] = e->m_handle;
    // Of several signalled handles the system reports the lowest index.
    const DWORD result = WaitForMultipleObjects(
        count, handles, FALSE,
        timeoutMs < 0 ? INFINITE : Timeout(static_cast<unsigned long>(timeoutMs)));
    if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count)
        return static_cast<int>(result - WAIT_OBJECT_0);
    return -1;
}

}  // namespace vantrel
