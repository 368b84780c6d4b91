// A stream a sound server reads on without playing what it is given, told from the
// server's own numbers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "audio/unheard_stream.h"

namespace {

constexpr uint32_t kRate = 48000;
constexpr int64_t kTarget = 768;  // the frames the server keeps of the stream

// A server asked every 20 ms: it reads `pace` frames a millisecond and holds `held`.
struct Server {
    UnheardStream stream;
    int64_t nowUs = 1000000;
    int64_t read = 0;
    int restarts = 0;
    int64_t firstRestartUs = 0;

    void run(int ms, int64_t held, int64_t pace = 48) {
        for (int t = 0; t < ms; t += 20) {
            nowUs += 20000;
            read += 20 * pace;
            if (unheard_stream_note(&stream, nowUs, read, held, kTarget, kRate)) {
                if (restarts++ == 0) firstRestartUs = nowUs;
            }
        }
    }
};

}  // namespace

TEST(UnheardStream, OnlyAServerReadingOnThroughAnUnderflowWithItsBufferFullIsUnheard) {
    {
        SCOPED_TRACE("an underflow and no start, the buffer full in the server's numbers, read at pace");
        Server server;
        server.run(500, kTarget);
        unheard_stream_underflow(&server.stream);
        const int64_t since = server.nowUs;
        server.run(280, kTarget);
        EXPECT_EQ(server.restarts, 0) << "told before a third of a second";
        server.run(100, kTarget);
        EXPECT_EQ(server.restarts, 1);
        EXPECT_LE(server.firstRestartUs - since, 400000);
        // The restart did not help: the next waits twice as long, then four times.
        const int64_t first = server.firstRestartUs;
        server.run(540, kTarget);
        EXPECT_EQ(server.restarts, 1) << "restarted again within 0.6 s";
        server.run(100, kTarget);
        EXPECT_EQ(server.restarts, 2);
        server.run(1100, kTarget);
        EXPECT_EQ(server.restarts, 2) << "restarted again within 1.2 s";
        server.run(200, kTarget);
        EXPECT_EQ(server.restarts, 3);
        EXPECT_GT(server.nowUs - first, 1800000);
        // It played a second after a start: a later loss of count is told soon again.
        unheard_stream_started(&server.stream, server.nowUs);
        server.run(1100, kTarget);
        unheard_stream_underflow(&server.stream);
        const int restarts = server.restarts;
        server.run(400, kTarget);
        EXPECT_EQ(server.restarts, restarts + 1);
    }
    {
        SCOPED_TRACE("a stream that really ran dry (the server holds nothing of it)");
        Server server;
        unheard_stream_underflow(&server.stream);
        server.run(3000, 0);
        server.run(3000, -4800);
        EXPECT_EQ(server.restarts, 0);
    }
    {
        SCOPED_TRACE("an underflow the server has played on from since");
        Server server;
        unheard_stream_underflow(&server.stream);
        server.run(100, kTarget);
        unheard_stream_started(&server.stream, server.nowUs);
        server.run(3000, kTarget);
        EXPECT_EQ(server.restarts, 0);
    }
    {
        SCOPED_TRACE("a server that stands (it reads nothing), or catches up at full speed");
        Server server;
        unheard_stream_underflow(&server.stream);
        server.run(3000, kTarget, 0);
        server.run(500, kTarget, 480);
        EXPECT_EQ(server.restarts, 0);
    }
}
