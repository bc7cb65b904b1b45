#include "soap/SoapTypeRegistry.h"

#include <QHash>

#include <mutex>

namespace {

struct Entry {
    SoapTypeRegistry::CreateWithNode createWithNode = nullptr;
    SoapTypeRegistry::Create create = nullptr;
};

struct Registry {
    std::mutex mutex;
    QHash<QString, Entry> entries;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

void SoapTypeRegistry::registerType(const QString &className, CreateWithNode createWithNode, Create create)
{
    Registry &types = registry();
    const std::lock_guard lock(types.mutex);
    types.entries.insert(className, Entry{createWithNode, create});
}

bool SoapTypeRegistry::contains(const QString &className)
{
    Registry &types = registry();
    const std::lock_guard lock(types.mutex);
    return types.entries.contains(className);
}

SoapTypeRegistry::CreateWithNode SoapTypeRegistry::findCreateWithNode(const QString &className)
{
    Registry &types = registry();
    const std::lock_guard lock(types.mutex);
    const auto found = types.entries.constFind(className);
    return found == types.entries.constEnd() ? nullptr : found->createWithNode;
}

SoapObjectPtr SoapTypeRegistry::create(const QString &className)
{
    Create create = nullptr;
    {
        Registry &types = registry();
        const std::lock_guard lock(types.mutex);
        const auto found = types.entries.constFind(className);
        if (found != types.entries.constEnd())
            create = found->create;
    }
    return create ? create() : SoapObjectPtr();
}

QStringList SoapTypeRegistry::registeredNames()
{
    Registry &types = registry();
    const std::lock_guard lock(types.mutex);
    QStringList names = types.entries.keys();
    names.sort();
    return names;
}
