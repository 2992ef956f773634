#include "ledservice/LedClient.h"

#include "leddiscovery/LedFinder.h"
#include "serviceabi/ServiceContract.h"

std::unique_ptr<LedClient> LedClient::open(const std::filesystem::path& root, const char* requested,
                                           std::chrono::milliseconds logindTimeout,
                                           const std::filesystem::path& memoryFile)
{
    std::unique_ptr<LedClient> client(new LedClient(root, logindTimeout, memoryFile));
    const LedFinder finder(root);
    client->m_chosenForThisRun = requested && !finder.whyPassedOver(requested);
    // Without an LED the rules take, the client still answers: the caller may have a light of
    // its own choosing to name, which need not be named like one.
    client->use(client->m_chosenForThisRun ? requested : "");
    return client;
}

LedClient::LedClient(std::filesystem::path root, std::chrono::milliseconds logindTimeout,
                     std::filesystem::path memoryFile)
    : m_root(std::move(root)), m_logindTimeout(logindTimeout), m_memoryFile(std::move(memoryFile))
{}

bool LedClient::use(const std::string& name)
{
    const LedFinder finder(m_root);
    auto device = name.empty()                  ? finder.find(nullptr)
                  : LedFinder::isSafeName(name) ? LedDevice::open(m_root, name)
                                                : std::nullopt;
    if (!device)
        return false;
    if (m_service && device->name() == m_name)
        return true;
    m_name = device->name();
    m_service = LedService::open(std::move(*device), m_logindTimeout, m_memoryFile);
    return true;
}

PropertyValue LedClient::choosable() const
{
    PropertyValue::Array names;
    bool listsOwn = false;
    for (auto& name : LedFinder(m_root).candidates()) {
        listsOwn = listsOwn || name == m_name;
        names.push_back(PropertyValue::string(std::move(name)));
    }
    // An LED named for the run need not be named like a light; it is still the one in use, as
    // long as it is there: one unplugged cannot be chosen.
    if (!listsOwn && m_service && LedDevice::open(m_root, m_name))
        names.insert(names.begin(), PropertyValue::string(m_name));
    return PropertyValue::array(std::move(names));
}

std::optional<PropertyValue> LedClient::get(std::string_view key) const
{
    if (key == ServiceContract::lightKey)
        return PropertyValue::string(m_name);
    if (key == ServiceContract::lightsKey)
        return choosable();
    if (!m_service)
        return std::nullopt;
    return m_service->get(key);
}

bool LedClient::set(const PropertyValue& value, std::string_view key)
{
    const bool choice =
        key == ServiceContract::lightKey || key == ServiceContract::preferredLightKey;
    if (key == ServiceContract::handBackKey)
        return handBack(value);
    if (!choice)
        return m_service && m_service->set(value, key);
    if (!value.isString())
        return false;
    if (key == ServiceContract::preferredLightKey && m_chosenForThisRun)
        return true;
    return use(value.stringValue());
}

bool LedClient::handBack(const PropertyValue& value)
{
    if (!value.isArray() || value.items().size() != 2 || !value.items()[0].isString())
        return false;
    const std::string& name = value.items()[0].stringValue();
    auto device = LedFinder::isSafeName(name) ? LedDevice::open(m_root, name) : std::nullopt;
    if (!device)
        return false;
    // Taken as at start, the LED's own note telling what a run that held it left there, and what
    // a key did since: also the light in use, which may have been away meanwhile.
    auto service = LedService::open(std::move(*device), m_logindTimeout, m_memoryFile);
    const bool back = service->set(value.items()[1], ServiceContract::tableKey);
    if (name == m_name)
        m_service = std::move(service);
    return back;
}
