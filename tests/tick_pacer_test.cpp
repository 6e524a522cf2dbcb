// Guards the pacing every window surface shares, on a clock the test sets: ticks one interval
// apart, a slow frame delaying the ticks after it instead of leaving a backlog, no tick while the
// picture is unseen and one at once when it is seen again, and waits that end on a signal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <tuple>

#include "host/Surface.h"
#include "host/TickPacer.h"

namespace {

TEST(TickPacer, TicksOneIntervalApartWithoutABacklog) {
  std::int64_t now = 5000000;
  TickPacer pacer(33333, -1, [&] { return now; });
  EXPECT_TRUE(pacer.tickDue()) << "the first tick is due at once";
  pacer.takeTick();
  EXPECT_FALSE(pacer.tickDue());
  // A wait ends past the deadline, never a millisecond before it.
  EXPECT_EQ(pacer.millisecondsUntilOverdue(), 34);
  now += 40000;  // taken 6.7 ms late: the next is still due one interval after this one was
  ASSERT_TRUE(pacer.tickDue());
  pacer.takeTick();
  now += 26665;
  EXPECT_EQ(std::pair(pacer.tickDue(), pacer.millisecondsUntilOverdue()), std::pair(false, 1));
  now += 1;
  // This tick's frame takes half a second: the next follows at once, the one after an interval
  // later; the fifteen ticks that fell due meanwhile are not caught up on.
  pacer.takeTick();
  now += 500000;
  EXPECT_EQ(pacer.overdue(), 500000 - 33333);
  pacer.takeTick();
  EXPECT_EQ(std::pair(pacer.tickDue(), pacer.overdue()), std::pair(true, 0L));
  pacer.takeTick();
  EXPECT_EQ(pacer.overdue(), -33333);
}

TEST(TickPacer, NoTicksWhileUnseenAndOneAtOnceWhenSeenAgain) {
  std::int64_t now = 0;
  TickPacer pacer(100000, -1, [&] { return now; });
  pacer.takeTick();
  SurfaceEvent event;
  ASSERT_TRUE(pacer.see(false, &event));
  EXPECT_EQ(event.kind, SurfaceEvent::Hidden);
  EXPECT_FALSE(pacer.see(false, &event)) << "told twice, it changed once";
  now += 10000000;
  EXPECT_EQ(std::tuple(pacer.tickDue(), pacer.millisecondsUntilOverdue()), std::tuple(false, -1));
  ASSERT_TRUE(pacer.see(true, &event));
  EXPECT_EQ(event.kind, SurfaceEvent::Shown);
  EXPECT_EQ(std::tuple(pacer.tickDue(), pacer.overdue()), std::tuple(true, 0));
  EXPECT_FALSE(pacer.see(false, nullptr)) << "a state recorded without an event";
  EXPECT_FALSE(pacer.seen());
}

TEST(TickPacer, AWaitEndsOnTheConnectionOrTheWakeUpDescriptor) {
  int connection[2], wake[2];
  ASSERT_EQ(pipe(connection), 0);
  ASSERT_EQ(pipe(wake), 0);
  TickPacer pacer(33333, wake[0]);
  EXPECT_EQ(std::pair(pacer.woken(), pacer.wait(connection[0], 0)), std::pair(false, false));
  ASSERT_EQ(write(wake[1], "x", 1), 1);
  EXPECT_TRUE(pacer.woken());
  EXPECT_FALSE(pacer.wait(connection[0], -1)) << "woken, with nothing on the connection";
  ASSERT_EQ(write(connection[1], "x", 1), 1);
  EXPECT_TRUE(pacer.wait(connection[0], -1));
  for (int fd : {connection[0], connection[1], wake[0], wake[1]}) {
    close(fd);
  }
}

}  // namespace
