// Where the broker's password for the bridge road is kept: the desktop's
// keyring (the Secret Service, through QtKeychain), never the settings
// file nor a log. Where no keyring answers, nothing is stored at all: the
// remote asks for the password again in each run.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace vantrel {

class PasswordKeeper {
public:
    virtual ~PasswordKeeper() = default;
    // What `account` ("user@host:port") has, or nothing and why: not kept
    // yet, or no keyring. The answer comes later, from the event loop.
    using Answer = std::function<void(std::optional<QString> password, const QString& why)>;
    virtual void read(const QString& account, Answer done) = 0;
    // Keeps it; `done` gets an empty text, or why it could not.
    virtual void write(const QString& account, const QString& password, std::function<void(const QString& why)> done) = 0;
};

class KeyringKeeper final : public PasswordKeeper {
public:
    void read(const QString& account, Answer done) override;
    void write(const QString& account, const QString& password, std::function<void(const QString& why)> done) override;
};

}  // namespace vantrel
