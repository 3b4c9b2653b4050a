#include "keyring/secret_service_store.h"

#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvel {

namespace {

const SecretSchema kSchema = {"org.velmont.Quorvel.Mailbox",
                              SECRET_SCHEMA_NONE,
                              {{"profile", SECRET_SCHEMA_ATTRIBUTE_STRING},
                               {"mailbox", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
                               {"kind", SECRET_SCHEMA_ATTRIBUTE_STRING},
                               {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                              0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableUnref>;

// Errors after the service answered; the bus or the service gone count as no keyring.
SecretStatus statusOf(const GError* error) {
    if (!error) return SecretStatus::Failed;
    if (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_IS_LOCKED) return SecretStatus::Locked;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) return SecretStatus::Locked;
    if (error->domain == G_DBUS_ERROR &&
        (error->code == G_DBUS_ERROR_SERVICE_UNKNOWN || error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER ||
         error->code == G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND || error->code == G_DBUS_ERROR_NO_SERVER ||
         error->code == G_DBUS_ERROR_DISCONNECTED))
        return SecretStatus::Unavailable;
    return SecretStatus::Failed;
}

// The session's Secret Service, or null with `status` set. The first contact
// (no prompt can come of it) waits `limit` at most: a service that owns its
// name but does not answer counts as none, instead of the bus's own 25 s.
SecretService* service(SecretStatus& status, std::chrono::milliseconds limit) {
    GCancellable* cancellable = g_cancellable_new();
    std::mutex mutex;
    std::condition_variable done;
    bool answered = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, limit, [&] { return answered; })) g_cancellable_cancel(cancellable);
    });
    GError* raw = nullptr;
    SecretService* found = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, cancellable, &raw);
    {
        std::lock_guard lock(mutex);
        answered = true;
    }
    done.notify_one();
    watchdog.join();
    g_object_unref(cancellable);
    ErrorPtr error(raw);
    if (!found) status = SecretStatus::Unavailable;
    return found;
}

const char* kindName(SecretKind kind) {
    return kind == SecretKind::Password ? "password" : "refresh-token";
}

Attributes attributes(const std::string& profile, int mailbox, SecretKind kind) {
    return Attributes(secret_attributes_build(&kSchema, "profile", profile.c_str(), "mailbox", mailbox, "kind",
                                              kindName(kind), nullptr));
}

// The items matching `attrs` in the collection this store writes to: an item
// of the same name in another collection (another program's, an imported
// keyring) is not ours to read or remove. Locked items are found too: a
// search never prompts.
GList* ownItems(SecretService* keyring, GHashTable* attrs, GError** error) {
    SecretCollection* collection =
        secret_collection_for_alias_sync(keyring, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, error);
    if (!collection) return nullptr;
    GList* items = secret_collection_search_sync(collection, &kSchema, attrs, SECRET_SEARCH_ALL, nullptr, error);
    g_object_unref(collection);
    return items;
}

// Whether an item of ours matching `attrs` is locked.
bool anyLocked(SecretService* keyring, GHashTable* attrs) {
    GList* items = ownItems(keyring, attrs, nullptr);
    bool locked = false;
    for (GList* at = items; at; at = at->next) locked = locked || secret_item_get_locked(SECRET_ITEM(at->data));
    g_list_free_full(items, g_object_unref);
    return locked;
}

// Whether the collection a new item goes to is locked (or none answers for it).
bool defaultCollectionLocked(SecretService* keyring) {
    SecretCollection* collection =
        secret_collection_for_alias_sync(keyring, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, nullptr);
    if (!collection) return false;  // the store creates it, which asks nothing of a person here
    const bool locked = secret_collection_get_locked(collection);
    g_object_unref(collection);
    return locked;
}

}  // namespace

SecretServiceStore::SecretServiceStore(std::string profile, Prompts prompts)
    : profile_(std::move(profile)), prompts_(prompts) {}

std::string SecretServiceStore::place() const { return "desktop keyring"; }

SecretStatus SecretServiceStore::read(int mailbox, SecretKind kind, std::string& secret) {
    SecretStatus status = SecretStatus::Ok;
    SecretService* keyring = service(status, kFirstAnswerLimit);
    if (!keyring) return status;
    const Attributes attrs = attributes(profile_, mailbox, kind);
    GError* raw = nullptr;
    GList* items = ownItems(keyring, attrs.get(), &raw);
    ErrorPtr error(raw);
    SecretItem* item = items ? SECRET_ITEM(g_object_ref(items->data)) : nullptr;
    g_list_free_full(items, g_object_unref);
    if (!item) status = error ? statusOf(error.get()) : SecretStatus::NotFound;
    if (item && secret_item_get_locked(item) && prompts_ == Prompts::Never) status = SecretStatus::Locked;
    if (item && status == SecretStatus::Ok && secret_item_get_locked(item)) {
        // One unlock request: the keyring's own prompt, at most once per read.
        GList one = {item, nullptr, nullptr};
        const gint unlocked = secret_service_unlock_sync(keyring, &one, nullptr, nullptr, &raw);
        error.reset(raw);
        if (unlocked < 1) status = error ? statusOf(error.get()) : SecretStatus::Locked;
    }
    if (item && status == SecretStatus::Ok && !secret_item_load_secret_sync(item, nullptr, &raw)) {
        error.reset(raw);
        status = error ? statusOf(error.get()) : SecretStatus::Failed;
    }
    SecretValue* value = item && status == SecretStatus::Ok ? secret_item_get_secret(item) : nullptr;
    if (item) g_object_unref(item);
    g_object_unref(keyring);
    if (!value) return status == SecretStatus::Ok ? SecretStatus::Locked : status;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    secret.assign(bytes, length);
    secret_value_unref(value);
    return SecretStatus::Ok;
}

SecretStatus SecretServiceStore::write(int mailbox, SecretKind kind, const std::string& label,
                                       const std::string& secret) {
    SecretStatus status = SecretStatus::Ok;
    SecretService* keyring = service(status, kFirstAnswerLimit);
    if (!keyring) return status;
    const Attributes attrs = attributes(profile_, mailbox, kind);
    if (prompts_ == Prompts::Never && (defaultCollectionLocked(keyring) || anyLocked(keyring, attrs.get()))) {
        g_object_unref(keyring);
        return SecretStatus::Locked;
    }
    SecretValue* value = secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
    GError* raw = nullptr;
    const bool stored = secret_service_store_sync(keyring, &kSchema, attrs.get(), SECRET_COLLECTION_DEFAULT,
                                                  label.c_str(), value, nullptr, &raw);
    ErrorPtr error(raw);
    secret_value_unref(value);
    g_object_unref(keyring);
    return stored ? SecretStatus::Ok : statusOf(error.get());
}

SecretStatus SecretServiceStore::remove(int mailbox, SecretKind kind) {
    SecretStatus status = SecretStatus::Ok;
    SecretService* keyring = service(status, kFirstAnswerLimit);
    if (!keyring) return status;
    const Attributes attrs = attributes(profile_, mailbox, kind);
    if (prompts_ == Prompts::Never && anyLocked(keyring, attrs.get())) {
        g_object_unref(keyring);
        return SecretStatus::Locked;
    }
    GError* raw = nullptr;
    GList* items = ownItems(keyring, attrs.get(), &raw);
    ErrorPtr error(raw);
    bool removed = false;
    for (GList* at = items; at && !error; at = at->next) {
        removed = secret_item_delete_sync(SECRET_ITEM(at->data), nullptr, &raw) || removed;
        error.reset(raw);
        raw = nullptr;
    }
    g_list_free_full(items, g_object_unref);
    g_object_unref(keyring);
    if (error) return statusOf(error.get());
    return removed ? SecretStatus::Ok : SecretStatus::NotFound;
}

}  // namespace quorvel
