#include "soap/SoapReachability.h"
#include "soap/SoapTypeRegistry.h"

#include <QFile>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

namespace {

using State = SoapReachability::NetworkState;

quint32 address(const char *dotted)
{
    in_addr parsed{};
    inet_pton(AF_INET, dotted, &parsed);
    return ntohl(parsed.s_addr);
}

class SoapReachabilityTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SoapReachability::setNetworkStateSource({});
        SoapReachability::setResolver({});
    }
    void useState(const State &state)
    {
        SoapReachability::setNetworkStateSource([state] { return std::optional<State>(state); });
    }
};

TEST_F(SoapReachabilityTest, NetworkNeedsARouteOutsideLoopback)
{
    State loopbackOnly;
    loopbackOnly.routes.append({address("127.0.0.0"), address("255.0.0.0"), true});
    useState(loopbackOnly);
    EXPECT_FALSE(SoapReachability::connectedToNetwork());

    State lan = loopbackOnly;
    lan.routes.append({address("192.168.1.0"), address("255.255.255.0"), false});
    useState(lan);
    EXPECT_TRUE(SoapReachability::connectedToNetwork());

    SoapReachability::setNetworkStateSource([] { return std::optional<State>(); });
    EXPECT_FALSE(SoapReachability::connectedToNetwork());
}

TEST_F(SoapReachabilityTest, HostIsReachableThroughARouteALocalAddressOrLoopback)
{
    State lan;
    lan.routes.append({address("192.168.1.0"), address("255.255.255.0"), false});
    lan.localAddresses.append(address("10.9.8.7"));
    useState(lan);
    EXPECT_TRUE(SoapReachability::hostAvailable(QStringLiteral("192.168.1.20")));
    EXPECT_FALSE(SoapReachability::hostAvailable(QStringLiteral("192.168.2.20")));
    EXPECT_TRUE(SoapReachability::hostAvailable(QStringLiteral("10.9.8.7")));
    EXPECT_TRUE(SoapReachability::hostAvailable(QStringLiteral("127.0.0.1")));
    EXPECT_FALSE(SoapReachability::hostAvailable(QString()));

    State withDefaultRoute;
    withDefaultRoute.routes.append({0, 0, false});
    useState(withDefaultRoute);
    EXPECT_TRUE(SoapReachability::hostAvailable(QStringLiteral("203.0.113.9")));
}

TEST_F(SoapReachabilityTest, NamesGoThroughTheResolverDottedAddressesDoNot)
{
    QStringList asked;
    SoapReachability::setResolver([&asked](const QString &host) {
        asked.append(host);
        return host == u"music.test" ? QStringLiteral("192.168.1.5") : QString();
    });
    EXPECT_EQ(SoapReachability::getIPAddressForHost(QStringLiteral("music.test")), u"192.168.1.5");
    EXPECT_EQ(SoapReachability::getIPAddressForHost(QStringLiteral("192.168.1.6")), u"192.168.1.6");
    EXPECT_TRUE(SoapReachability::getIPAddressForHost(QString()).isNull());
    EXPECT_EQ(asked, QStringList{QStringLiteral("music.test")});

    char hostName[256] = {};
    ASSERT_EQ(gethostname(hostName, 255), 0);
    SoapReachability::setResolver([](const QString &host) { return host.endsWith(u".local") ? QStringLiteral("192.168.1.9") : QString(); });
    EXPECT_EQ(SoapReachability::localIPAddress(), u"192.168.1.9");
}

TEST_F(SoapReachabilityTest, AddressFromDottedText)
{
    sockaddr_in socketAddress{};
    socketAddress.sin_port = htons(8731);
    EXPECT_TRUE(SoapReachability::addressFromString(QStringLiteral("10.1.2.3"), &socketAddress));
    EXPECT_EQ(socketAddress.sin_family, AF_INET);
    EXPECT_EQ(ntohl(socketAddress.sin_addr.s_addr), address("10.1.2.3"));
    EXPECT_EQ(ntohs(socketAddress.sin_port), 8731);
    EXPECT_FALSE(SoapReachability::addressFromString(QString(), &socketAddress));
    EXPECT_FALSE(SoapReachability::addressFromString(QStringLiteral(""), &socketAddress));
    EXPECT_FALSE(SoapReachability::addressFromString(QStringLiteral("300.1.1.1"), &socketAddress));
    EXPECT_FALSE(SoapReachability::addressFromString(QStringLiteral("server"), &socketAddress));
}

TEST_F(SoapReachabilityTest, SystemStateIsReadFromTheRoutingTable)
{
    if (!QFile::exists(QStringLiteral("/proc/net/route")))
        GTEST_SKIP() << "no /proc/net/route";
    const std::optional<State> state = SoapReachability::systemNetworkState();
    ASSERT_TRUE(state);
    EXPECT_TRUE(SoapReachability::hostAvailable(QStringLiteral("127.0.0.1")));
}

class RegisteredRecord : public SoapObject {
public:
    QString className() const override { return QStringLiteral("OVWSRegisteredRecord"); }
    static SoapObjectPtr createWithNode(const CXMLElementPtr &element)
    {
        if (!element)
            return nullptr;
        SoapObjectPtr record(new RegisteredRecord());
        record->initWithNode(element);
        return record;
    }
};

TEST(SoapTypeRegistryTest, RecordsAreFoundByClassName)
{
    SoapTypeRegistry::registerType<RegisteredRecord>(QStringLiteral("OVWSRegisteredRecord"));
    EXPECT_TRUE(SoapTypeRegistry::contains(QStringLiteral("OVWSRegisteredRecord")));
    const SoapObjectPtr fresh = SoapTypeRegistry::create(QStringLiteral("OVWSRegisteredRecord"));
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->className(), u"OVWSRegisteredRecord");
    EXPECT_EQ(fresh->self(), fresh);
    const SoapTypeRegistry::CreateWithNode create =
        SoapTypeRegistry::findCreateWithNode(QStringLiteral("OVWSRegisteredRecord"));
    ASSERT_TRUE(create);
    EXPECT_FALSE(create(nullptr));
    EXPECT_FALSE(SoapTypeRegistry::create(QStringLiteral("OVWSMissing")));
    EXPECT_FALSE(SoapTypeRegistry::findCreateWithNode(QStringLiteral("OVWSMissing")));
}

} // namespace
