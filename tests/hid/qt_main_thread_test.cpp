// The Qt main-thread hand-over: posts and hand-overs run in the main thread, a watched
// descriptor calls back there, and a main thread waiting for a worker keeps serving it.
#include "hid/qt/QtMainThread.h"
#include "support/ThreadWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <unistd.h>

using hid::TQtMainThread;

namespace {

bool ProcessUntil(const std::function<bool()>& Done) {
    QDeadlineTimer deadline(testing_support::kThreadWaitMs);
    while (!Done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return Done();
}

TEST(QtMainThreadTest, HandOverRunsInTheMainThreadAndReturnsAfterIt) {
    TQtMainThread main;
    const auto mainId = std::this_thread::get_id();
    std::atomic<int> step{0};
    std::thread::id ranIn;
    std::thread worker([&] {
        main.Send([&] {
            ranIn = std::this_thread::get_id();
            step = 1;
        });
        // Send has returned: the operation has run.
        if (step == 1) step = 2;
    });
    EXPECT_TRUE(ProcessUntil([&] { return step == 2; }));
    worker.join();
    EXPECT_EQ(ranIn, mainId);
}

TEST(QtMainThreadTest, ServeUntilRunsHandOversWhileWaitingForTheWorker) {
    TQtMainThread main;
    std::atomic<bool> finished{false};
    int served = 0;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            main.Send([&] { ++served; });
        finished = true;
        main.Wake();
    });
    // No event loop here: the waiting main thread itself must run the three hand-overs.
    main.ServeUntil([&] { return finished.load(); });
    worker.join();
    EXPECT_EQ(served, 3);
    QCoreApplication::processEvents(); // the queued pokes find nothing left
}

TEST(QtMainThreadTest, PostsRunInOrderAndErrorsGoToTheHandler) {
    TQtMainThread main;
    std::vector<int> order;
    std::string error;
    main.SetErrorHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            error = x.what();
        }
    });
    main.Post([&] { order.push_back(1); });
    main.Post([] { throw std::runtime_error("Device cannot be opened"); });
    main.Post([&] { order.push_back(2); });
    EXPECT_TRUE(ProcessUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(error, "Device cannot be opened");
}

TEST(QtMainThreadTest, WatchCallsBackWhenTheDescriptorIsReadable) {
    TQtMainThread main;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int calls = 0;
    const int id = main.Watch(fds[0], [&] {
        char c;
        EXPECT_EQ(read(fds[0], &c, 1), 1);
        ++calls;
    });
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_TRUE(ProcessUntil([&] { return calls == 1; }));
    main.Unwatch(id);
    ASSERT_EQ(write(fds[1], "y", 1), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    close(fds[0]);
    close(fds[1]);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
