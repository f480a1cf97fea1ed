#ifndef PLATFORM_HOST_AENCHOST_H
#define PLATFORM_HOST_AENCHOST_H

// What the simulated audio encoder module shows the tests.

#include <cstdint>
#include <string>
#include <vector>

struct tagAencRegistration {
    int32_t handle;
    uint32_t type;
    uint32_t maxFrameLength;
    std::string name;
};
typedef tagAencRegistration AencRegistration;

// The encoders registered now.
std::vector<AencRegistration> XAencRegistrations();
// Registrations accepted since the process started.
uint32_t XAencRegistrationCount();

#endif
