#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace plimsy {

// Where a secret is kept between runs. Every call answers later, on the
// main thread's event loop, never before it returns: the desktop's keyring
// is a D-Bus service that may take its time (or ask the user to unlock it),
// and the window must not wait for it.
class keyring_backend_t {
public:
    enum class result_t { ok, not_found, unavailable, error };
    using done_t = std::function<void(result_t, const QString& secret_or_error)>;
    virtual ~keyring_backend_t() = default;
    virtual void read(const QString& key, done_t done) = 0;
    virtual void write(const QString& key, const QString& secret, done_t done) = 0;
    virtual void remove(const QString& key, done_t done) = 0;
};

// The desktop's keyring through QtKeychain (Secret Service or KWallet).
// Never QtKeychain's "insecure fallback", which would write the password
// into a plain settings file.
std::unique_ptr<keyring_backend_t> make_desktop_keyring();

// A keyring in memory, answering through the event loop like the real one.
// For tests, and for CI where no keyring service runs: `available` false
// makes it answer as a host without one.
class memory_keyring_t final : public keyring_backend_t {
public:
    explicit memory_keyring_t(bool available = true) : available_(available) {}
    void read(const QString& key, done_t done) override;
    void write(const QString& key, const QString& secret, done_t done) override;
    void remove(const QString& key, done_t done) override;
    std::map<QString, QString> secrets;
    int calls = 0;

private:
    bool available_;
};

// The MQTT passwords of this run: what the user typed, what the keyring
// gave back, and whether the keyring can be used at all. A password goes to
// the keyring when the user connects with it; without a keyring it is kept
// in memory for this run only and the sheet says so. Main thread only.
class mqtt_passwords_t : public QObject {
    Q_OBJECT

public:
    explicit mqtt_passwords_t(std::unique_ptr<keyring_backend_t> backend, QObject* parent = nullptr);

    // The keyring entry of a broker and user.
    static QString key_for(const std::string& url, const std::string& user);

    // `give` gets the password of url and user: at once from memory, or
    // later, when the keyring answers (empty when it has none). True when
    // it was given at once.
    bool provide(const std::string& url, const std::string& user, std::function<void(const std::string&)> give);
    // The user typed a password and connects with it: kept for this run and
    // written to the keyring (when there is one).
    void remember(const std::string& url, const std::string& user, const QString& password);

    // Empty while the keyring works (or has not been asked yet); otherwise
    // what the sheet says about where the password is kept.
    QString note() const { return note_; }
    bool keyring_unavailable() const { return unavailable_; }
    bool busy() const { return pending_ > 0; }

signals:
    void changed();

private:
    void backend_failed(keyring_backend_t::result_t result, const QString& error);

    std::unique_ptr<keyring_backend_t> backend_;
    std::map<QString, QString> known_;
    bool unavailable_ = false;
    int pending_ = 0;
    QString note_;
    // Answers that arrive after the link is gone do nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace plimsy
