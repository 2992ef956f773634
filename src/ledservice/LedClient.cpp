#include "ledservice/LedClient.h"

#include "leddiscovery/LedFinder.h"
#include "ledservice/SwitchMemory.h"
#include "ledservice/SysfsLedTree.h"
#include "serviceabi/ServiceContract.h"

LedClient::LedClient(std::unique_ptr<LedTree> tree, std::unique_ptr<NoteStore> notes,
                     const char* requested)
    : m_tree(std::move(tree)), m_notes(std::move(notes))
{
    m_chosenForThisRun = requested && LedFinder::isSafeName(requested) && m_tree->open(requested);
    // Without an LED the rules take, the client still answers: the caller may have a light of
    // its own choosing to name, which need not be named like one.
    use(m_chosenForThisRun ? requested : "");
}

std::unique_ptr<LedClient> LedClient::open(const std::filesystem::path& root, const char* requested,
                                           std::chrono::milliseconds logindTimeout,
                                           const std::filesystem::path& memoryFile)
{
    return std::make_unique<LedClient>(std::make_unique<SysfsLedTree>(root, logindTimeout),
                                       std::make_unique<SwitchMemory>(memoryFile), requested);
}

std::unique_ptr<LedFiles> LedClient::find(const std::string& name) const
{
    if (!name.empty())
        return LedFinder::isSafeName(name) ? m_tree->open(name) : nullptr;
    for (const auto& candidate : LedFinder::ruleOrder(m_tree->names())) {
        if (auto files = m_tree->open(candidate))
            return files;
    }
    return nullptr;
}

bool LedClient::use(const std::string& name)
{
    auto files = find(name);
    if (!files)
        return false;
    if (m_inUse && files->name() == m_inUse->name())
        return true;
    m_inUse.emplace(std::move(files), *m_notes);
    return true;
}

PropertyValue LedClient::choosable() const
{
    PropertyValue::Array names;
    const std::string inUse = m_inUse ? m_inUse->name() : std::string();
    bool listsOwn = false;
    for (auto& name : LedFinder::ruleOrder(m_tree->names())) {
        if (!m_tree->open(name))
            continue;
        listsOwn = listsOwn || name == inUse;
        names.push_back(PropertyValue::string(std::move(name)));
    }
    // An LED named for the run need not be named like a light; it is still the one in use, as
    // long as it is there: one unplugged cannot be chosen.
    if (!listsOwn && m_inUse && m_tree->open(inUse))
        names.insert(names.begin(), PropertyValue::string(inUse));
    return PropertyValue::array(std::move(names));
}

std::optional<PropertyValue> LedClient::get(std::string_view key) const
{
    if (key == ServiceContract::lightKey)
        return PropertyValue::string(m_inUse ? m_inUse->name() : std::string());
    if (key == ServiceContract::lightsKey)
        return choosable();
    if (!m_inUse)
        return std::nullopt;
    return m_inUse->get(key);
}

bool LedClient::set(const PropertyValue& value, std::string_view key)
{
    if (key == ServiceContract::handBackKey)
        return handBack(value);
    const bool choice =
        key == ServiceContract::lightKey || key == ServiceContract::preferredLightKey;
    if (!choice)
        return m_inUse && m_inUse->set(value, key);
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
    const PropertyValue& table = value.items()[1];
    auto files = LedFinder::isSafeName(name) ? m_tree->open(name) : nullptr;
    if (!files)
        return false;
    if (m_inUse && name == m_inUse->name())
        return m_inUse->set(table, ServiceContract::tableKey);
    // A light left earlier, or held by a run that was killed: taken as found, its note telling
    // what the run that held it left there, and what a key did since.
    return LedService(std::move(files), *m_notes).set(table, ServiceContract::tableKey);
}
