#include "ui/keyring.hpp"

#include <QTimer>
#include <qt6keychain/keychain.h>

namespace plimsy {

namespace {

// The service name the desktop's keyring files the passwords under.
const QString keyring_service = QStringLiteral("Plimsy sensors");

keyring_backend_t::result_t result_of(const QKeychain::Job& job) {
    switch (job.error()) {
        case QKeychain::NoError: return keyring_backend_t::result_t::ok;
        // Deleting an entry that is not there is not a failure of the keyring.
        case QKeychain::EntryNotFound:
        case QKeychain::CouldNotDeleteEntry: return keyring_backend_t::result_t::not_found;
        case QKeychain::NoBackendAvailable:
        case QKeychain::NotImplemented: return keyring_backend_t::result_t::unavailable;
        default: return keyring_backend_t::result_t::error;
    }
}

class desktop_keyring_t final : public keyring_backend_t {
public:
    void read(const QString& key, done_t done) override {
        auto* job = new QKeychain::ReadPasswordJob(keyring_service);
        job->setKey(key);
        QObject::connect(job, &QKeychain::Job::finished, [done](QKeychain::Job* j) {
            const auto r = result_of(*j);
            done(r, r == result_t::ok ? static_cast<QKeychain::ReadPasswordJob*>(j)->textData() : j->errorString());
        });
        job->start();
    }
    void write(const QString& key, const QString& secret, done_t done) override {
        auto* job = new QKeychain::WritePasswordJob(keyring_service);
        job->setKey(key);
        job->setTextData(secret);
        QObject::connect(job, &QKeychain::Job::finished,
                         [done](QKeychain::Job* j) { done(result_of(*j), j->errorString()); });
        job->start();
    }
    void remove(const QString& key, done_t done) override {
        auto* job = new QKeychain::DeletePasswordJob(keyring_service);
        job->setKey(key);
        QObject::connect(job, &QKeychain::Job::finished,
                         [done](QKeychain::Job* j) { done(result_of(*j), j->errorString()); });
        job->start();
    }
};

}  // namespace

std::unique_ptr<keyring_backend_t> make_desktop_keyring() { return std::make_unique<desktop_keyring_t>(); }

void memory_keyring_t::read(const QString& key, done_t done) {
    ++calls;
    const bool available = available_;
    const auto it = secrets.find(key);
    const std::optional<QString> found = it == secrets.end() ? std::nullopt : std::optional<QString>(it->second);
    QTimer::singleShot(0, [done, available, found] {
        if (!available)
            done(result_t::unavailable, QStringLiteral("No keyring service is running"));
        else if (found)
            done(result_t::ok, *found);
        else
            done(result_t::not_found, {});
    });
}

void memory_keyring_t::write(const QString& key, const QString& secret, done_t done) {
    ++calls;
    const bool available = available_;
    if (available) secrets[key] = secret;
    QTimer::singleShot(0, [done, available] {
        done(available ? result_t::ok : result_t::unavailable,
             available ? QString() : QStringLiteral("No keyring service is running"));
    });
}

void memory_keyring_t::remove(const QString& key, done_t done) {
    ++calls;
    const bool available = available_;
    if (available) secrets.erase(key);
    QTimer::singleShot(0, [done, available] { done(available ? result_t::ok : result_t::unavailable, {}); });
}

mqtt_passwords_t::mqtt_passwords_t(std::unique_ptr<keyring_backend_t> backend, QObject* parent)
    : QObject(parent), backend_(std::move(backend)) {}

QString mqtt_passwords_t::key_for(const std::string& url, const std::string& user) {
    // One password per broker and user name.
    return QString::fromStdString("mqtt " + user + " " + url);
}

void mqtt_passwords_t::backend_failed(keyring_backend_t::result_t result, const QString& error) {
    if (result == keyring_backend_t::result_t::ok || result == keyring_backend_t::result_t::not_found) return;
    // Any failure other than "no such entry" (no service, locked and
    // refused, D-Bus absent) means passwords cannot be kept there: say so
    // once, and keep them in memory for this run.
    unavailable_ = true;
    // Without a desktop session QtKeychain says no more than "Unknown error".
    const bool vague = error.isEmpty() || error == QLatin1String("Unknown error");
    note_ = QStringLiteral("No keyring available (%1): the password is kept for this run only, never saved")
                .arg(vague ? QStringLiteral("no keyring service answered") : error);
    emit changed();
}

bool mqtt_passwords_t::provide(const std::string& url, const std::string& user,
                               std::function<void(const std::string&)> give) {
    const QString key = key_for(url, user);
    if (auto it = known_.find(key); it != known_.end()) {
        give(it->second.toStdString());
        return true;
    }
    if (unavailable_ || !backend_) {
        give({});
        return true;
    }
    ++pending_;
    emit changed();
    std::weak_ptr<int> alive = alive_;
    backend_->read(key, [this, alive, key, give](keyring_backend_t::result_t result, const QString& secret) {
        if (alive.expired()) return;
        --pending_;
        backend_failed(result, secret);
        // What the user typed meanwhile wins over a late answer.
        auto it = known_.find(key);
        if (it == known_.end() && result == keyring_backend_t::result_t::ok) it = known_.emplace(key, secret).first;
        give(it == known_.end() ? std::string() : it->second.toStdString());
        emit changed();
    });
    return false;
}

void mqtt_passwords_t::remember(const std::string& url, const std::string& user, const QString& password) {
    const QString key = key_for(url, user);
    known_[key] = password;
    if (unavailable_ || !backend_) return;
    ++pending_;
    emit changed();
    std::weak_ptr<int> alive = alive_;
    const auto done = [this, alive](keyring_backend_t::result_t result, const QString& error) {
        if (alive.expired()) return;
        --pending_;
        backend_failed(result, error);
        emit changed();
    };
    // An empty password is no password: nothing is left in the keyring.
    if (password.isEmpty())
        backend_->remove(key, done);
    else
        backend_->write(key, password, done);
}

}  // namespace plimsy
