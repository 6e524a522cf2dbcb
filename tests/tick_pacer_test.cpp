// Guards the pacing every window surface shares, on a clock the test sets: ticks one interval
// apart, a slow frame delaying the ticks after it instead of leaving a backlog, no tick while the
// picture is unseen and one at once when it is seen again. (The program's tests in windows show
// that a signal ends a wait.)
#include <gtest/gtest.h>

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

}  // namespace
