#include "orvstart/named_event.h"

#include <utility>

named_event::named_event(std::string event_name) : name(std::move(event_name)) {
    handle = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
}

named_event::~named_event() {
    if (handle) CloseHandle(handle);
}
