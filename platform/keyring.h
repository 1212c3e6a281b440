// The desktop's keyring (a Secret Service on the session bus): secrets by name,
// kept encrypted by the desktop and unlocked with the user's login.
#pragma once

#include <optional>
#include <string>

namespace platform {

class Keyring {
public:
    virtual ~Keyring() = default;
    // Whether a keyring answers on this desktop at all.
    virtual bool available() = 0;
    // The calls below throw std::runtime_error with the keyring's reason when
    // it refuses or does not answer in time.
    // The secret kept under the name, or nothing when the keyring holds none.
    virtual std::optional<std::string> read(const std::string& name) = 0;
    virtual void write(const std::string& name, const std::string& secret) = 0;
    // Removing a name the keyring does not hold is no failure.
    virtual void remove(const std::string& name) = 0;
    // Whether the keyring is locked: until it is unlocked its secrets can be
    // neither read nor written, and a call would make the desktop ask for the
    // keyring's password. Asking this makes the desktop ask nothing; it throws
    // like the calls above when the keyring does not answer.
    virtual bool locked() { return false; }
    // Asks the desktop to unlock the keyring, which asks the user for the
    // keyring's password; true when the keyring is unlocked afterwards.
    virtual bool unlock() { return !locked(); }
};

}  // namespace platform
