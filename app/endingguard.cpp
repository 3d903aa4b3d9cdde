#include "app/endingguard.h"

#include <QCoreApplication>

namespace {

class GuardedItem final : public compose::MailItem
{
public:
    GuardedItem(std::unique_ptr<compose::MailItem> item, const bool *ending)
        : m_item(std::move(item)), m_ending(ending)
    {
    }
    bool put(compose::TextProperty property, const QString &value) override
    {
        return !*m_ending && m_item->put(property, value);
    }
    bool putBodyFormat(compose::BodyFormat format) override { return !*m_ending && m_item->putBodyFormat(format); }
    bool addAttachment(const QString &source) override { return !*m_ending && m_item->addAttachment(source); }
    bool display() override { return !*m_ending && m_item->display(); }
    QString errorString() const override
    {
        return *m_ending ? QCoreApplication::translate("EndingGuard", "Letterloom is ending.") : m_item->errorString();
    }
    QString notice() const override { return m_item->notice(); }
    bool cancelled() const override { return m_item->cancelled(); }

private:
    std::unique_ptr<compose::MailItem> m_item;
    const bool *m_ending;
};

class GuardedClient final : public compose::MailClient
{
public:
    GuardedClient(std::unique_ptr<compose::MailClient> client, const bool *ending)
        : m_client(std::move(client)), m_ending(ending)
    {
    }
    std::unique_ptr<compose::MailItem> createItem(int itemType) override
    {
        if (*m_ending)
            return nullptr;
        std::unique_ptr<compose::MailItem> item = m_client->createItem(itemType);
        return item ? std::make_unique<GuardedItem>(std::move(item), m_ending) : nullptr;
    }
    QString errorString() const override { return m_client->errorString(); }

private:
    std::unique_ptr<compose::MailClient> m_client;
    const bool *m_ending;
};

} // namespace

compose::MailClientFactory stoppedWhenEnding(compose::MailClientFactory clients, const bool *ending)
{
    return [clients = std::move(clients), ending](QString *error) -> std::unique_ptr<compose::MailClient> {
        if (*ending)
            return nullptr;
        std::unique_ptr<compose::MailClient> client = clients(error);
        return client ? std::make_unique<GuardedClient>(std::move(client), ending) : nullptr;
    };
}
