// Standard output that nobody reads, with and without a log: the queue's limit, who waits for
// whom, and the end's wait for the write in progress.
#include "cli/OutputQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>

#include "cli/RecordWriter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

namespace {

// A stream whose writes wait until the test opens it: a pipe whose reader does not read.
// Open from the start, it only tells another thread that something was written.
class GatedBuffer : public std::streambuf {
public:
    explicit GatedBuffer(bool open = false) : open_(open) {}
    void Open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    // Waits until a write is under way; false after ten seconds.
    bool AwaitWrite() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return entered_; });
    }
    std::string Text() {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        std::unique_lock<std::mutex> lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        text_.append(bytes, static_cast<size_t>(count));
        return count;
    }
    int_type overflow(int_type c) override {
        const char byte = traits_type::to_char_type(c);
        if (!traits_type::eq_int_type(c, traits_type::eof())) xsputn(&byte, 1);
        return traits_type::not_eof(c);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_;
    bool entered_ = false;
    std::string text_;
};

}  // namespace

TEST(OutputQueue, DrainWaitsForTheWriteInProgress) {
    GatedBuffer gate;
    std::ostream out(&gate);
    OutputQueue queue(out, 100);
    EXPECT_EQ(queue.Push("record\n"), OutputQueue::Put::Queued);
    ASSERT_TRUE(gate.AwaitWrite());
    EXPECT_FALSE(queue.Drain(50));  // out of the queue, not yet written
    gate.Open();
    EXPECT_TRUE(queue.Drain(5000));
    EXPECT_EQ(gate.Text(), "record\n");
}

// Records bigger than the queue holds while nobody reads: with a log, the log alone gets
// them and nothing waits; without one, standard output is the record and is waited for.
TEST(OutputQueue, FullOutputStallsOnlyAReaderWithoutALog) {
    RecordContext context;
    context.device = std::string(300 * 1024, 'x');  // four records pass the limit
    for (const bool withLog : {true, false}) {
        SCOPED_TRACE(withLog ? "with a log" : "without a log");
        TempDir dir;
        const std::string log = withLog ? dir / "units.log" : std::string();
        GatedBuffer gate;
        std::ostream out(&gate);
        GatedBuffer notices(true);
        std::ostream err(&notices);
        FakeClock clock;
        // The reader of standard output comes back once the writer has said it is not read.
        std::thread reader([&] {
            notices.AwaitWrite();
            gate.Open();
        });
        {
            RecordWriter writer(out, log, RecordFormat::Json);
            writer.SetNotices(err, clock, Language::English);
            writer.QueueOutput();
            for (int i = 0; i < 6; ++i) EXPECT_TRUE(writer.Record(context, {}));
            // Said once for each time the reader falls behind.
            const std::string said =
                withLog ? "p06-read: the standard output is not being read; records go to the "
                          "log '" +
                              log + "' only until it is\n"
                        : "p06-read: the standard output is not being read; waiting for it\n";
            EXPECT_EQ(notices.Text().substr(0, said.size()), said);
            writer.Finish([] { return false; });
        }
        reader.join();
        const std::string text = gate.Text();
        const auto shown = std::count(text.begin(), text.end(), '\n');
        if (!withLog) {
            EXPECT_EQ(shown, 6);
        } else {
            EXPECT_LT(shown, 6);  // the record the queue could not take went to the log alone
            std::ifstream file(log, std::ios::binary);
            std::stringstream logged;
            logged << file.rdbuf();
            const std::string all = logged.str();
            EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 6);
        }
    }
}
