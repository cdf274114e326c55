// The pace of a send run: the pauses between tries, the rate halved when the server is busy,
// the turns on the run's clock, and the one-connection delivery that tries again after a 4xx.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "mail/SendPace.h"
#include "mail/SendThread.h"
#include "support/FakeRunClock.h"
#include "support/ScriptedSmtpServer.h"
#include "support/SmtpTestServer.h"

namespace {

using namespace std::chrono_literals;
using Step = CScriptedSmtpServer::SStep;

TEST(SendPaceTest, PausesDoubleUpToTheLongestUntilTheTriesAreUsedUp)
{
    // The defaults outlast a provider's limit per minute several times over.
    const CSendPace::SPatience defaults;
    std::chrono::milliseconds total {0};
    for (int nTries = 1; const auto pause = defaults.PauseAfter(nTries); ++nTries)
        total += *pause;
    EXPECT_GE(total, 5min);

    const CSendPace::SPatience patience {4, 100ms, 250ms};
    EXPECT_EQ(patience.PauseAfter(0), 0ms); // only cut off, never refused: at once
    EXPECT_EQ(patience.PauseAfter(1), 100ms);
    EXPECT_EQ(patience.PauseAfter(2), 200ms);
    EXPECT_EQ(patience.PauseAfter(3), 250ms);
    EXPECT_EQ(patience.PauseAfter(4), std::nullopt);
}

TEST(SendPaceTest, ARefusalHalvesTheRateOnceABusySpell)
{
    CFakeClock clock;
    const auto start = clock.m_now;
    CSendPace pace({}, 120, clock); // a turn every half second
    EXPECT_EQ(pace.TakeTurn(), start);
    EXPECT_EQ(pace.TakeTurn(), start + 500ms);

    // The second is refused: one a second from now on, the first of them a second away.
    clock.m_now = start + 600ms;
    pace.ServerBusy(start + 500ms, 15s);
    EXPECT_EQ(pace.State().nRatePerMinute, 60);
    EXPECT_EQ(pace.State().retryAt, clock.m_now + 15s);
    EXPECT_EQ(pace.State().retryWallTime, clock.WallNow() + 15);
    EXPECT_EQ(pace.TakeTurn(), start + 1600ms);

    // Refused again before the server took anything at the new rate: the same spell. Nor does
    // a message from before the slowdown end it.
    clock.m_now = start + 1700ms;
    pace.ServerBusy(start + 1600ms, 15s);
    pace.Accepted(start);
    EXPECT_EQ(pace.TakeTurn(), start + 2600ms);
    clock.m_now = start + 2700ms;
    pace.ServerBusy(start + 2600ms, 15s);
    EXPECT_EQ(pace.State().nRatePerMinute, 60);

    // Taken at the new rate, then refused: too fast still.
    pace.Accepted(start + 1600ms);
    pace.ServerBusy(start, 15s); // on its way before the slowdown: tells nothing
    EXPECT_EQ(pace.State().nRatePerMinute, 60);
    EXPECT_EQ(pace.TakeTurn(), start + 3600ms);
    clock.m_now = start + 3700ms;
    pace.ServerBusy(start + 3600ms, 15s);
    EXPECT_EQ(pace.State().nRatePerMinute, 30);
    EXPECT_EQ(pace.State().nRefusals, 5u);

    // A run held up goes on from now: turns missed are not made up for in a burst.
    clock.m_now = start + 60s;
    EXPECT_EQ(pace.TakeTurn(), start + 60s);
    EXPECT_EQ(pace.TakeTurn(), start + 62s);

    CSendPace slowest({}, 1, clock);
    slowest.ServerBusy(clock.m_now, 1s);
    EXPECT_EQ(slowest.State().nRatePerMinute, CSendPace::kSlowestPerMinute);
}

TEST(SendPaceTest, WithoutALimitTheRateKeptSoFarIsHalved)
{
    CFakeClock clock;
    CSendPace pace({}, 0, clock);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pace.TakeTurn(), std::nullopt);
    clock.m_now += 2s; // ten in two seconds: 300 a minute
    pace.ServerBusy(clock.m_now, 1s);
    EXPECT_EQ(pace.State().nRatePerMinute, 150);
    EXPECT_EQ(pace.TakeTurn(), clock.m_now + 400ms);
}

TEST(SendPaceTest, ACancelEndsTheWaitForAnotherTry)
{
    CSendPace pace({}, 0, CRunClock::System());
    std::atomic<bool> bAbandon {false};
    EXPECT_TRUE(pace.WaitToTryAgain(10ms, &bAbandon));
    bAbandon = true;
    EXPECT_FALSE(pace.WaitToTryAgain(10min, &bAbandon));
}

// One message over its own connection, as a plain run sends it; the events it reported.
class OneConnectionTest : public testing::Test
{
protected:
    std::vector<EDelivery> Deliver(
        const std::string &strServer, const std::string &strTo, CSendPace *pPace = nullptr)
    {
        std::vector<EDelivery> events;
        MailParams params {strServer, "club@example.com", strTo, "replies@example.com", "News",
            "Hello", 5, nullptr,
            [&events](EDelivery eWhat, const std::string &) { events.push_back(eWhat); }, {}, {}, {},
            pPace ? pPace : &m_pace};
        SendThreadProc(std::make_unique<MailParams>(std::move(params)));
        return events;
    }
    void SetUp() override
    {
        std::lock_guard lock(g_failedAddressesLock);
        g_strFailedAddresses.clear();
    }

    CSendPace m_pace {{3, 10ms, 20ms}, 0, CRunClock::System()};
};

TEST_F(OneConnectionTest, A4xxIsTriedAgainUntilTheTriesAreUsedUpAndA5xxNever)
{
    using E = EDelivery;
    // "busy" and "storm" recipients get 451 for their first two tries.
    CSmtpTestServer server("^reject", "^slow", {"--busy", "^(busy|storm)", "2"});
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    EXPECT_EQ(Deliver(server.Server(), "busy@example.org"),
        (std::vector<E> {E::Deferred, E::Deferred, E::Sent}));
    EXPECT_EQ(server.Connections(), 3); // a new connection for each try
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(m_pace.State().nRefusals, 2u);
    EXPECT_EQ(g_strFailedAddresses, "");

    EXPECT_EQ(Deliver(server.Server(), "reject@example.org"), std::vector<E> {E::Failed});
    EXPECT_EQ(server.Connections(), 4);

    // Reported as failed only once its tries are used up.
    CSendPace twice({2, 10ms, 20ms}, 0, CRunClock::System());
    EXPECT_EQ(Deliver(server.Server(), "storm@example.org", &twice),
        (std::vector<E> {E::Deferred, E::Failed}));
    EXPECT_EQ(g_strFailedAddresses, "reject@example.org\r\nstorm@example.org\r\n");
}

TEST_F(OneConnectionTest, AMessageThatMayHaveArrivedIsNeverSentAgain)
{
    // The connection ends after the data: no word on whether the server took it.
    CScriptedSmtpServer server(
        {Step::Reply("220 hi\r\n"), Step::Reply("250 hi\r\n"), Step::Reply("250 ok\r\n"),
            Step::Reply("250 ok\r\n"), Step::Reply("354 go\r\n"), Step::Close()});
    EXPECT_EQ(
        Deliver(server.Server(), "ann@example.org"), std::vector<EDelivery> {EDelivery::InDoubt});
    const std::string strTranscript = server.Transcript();
    EXPECT_EQ(strTranscript.rfind("helo mergix.invalid\r\n", 0), 0u) << strTranscript;
    EXPECT_EQ(strTranscript.find("DATA\r\n"), strTranscript.rfind("DATA\r\n"));
}

} // namespace
