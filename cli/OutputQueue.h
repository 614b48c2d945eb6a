// Standard output for p06-read --repeat, which must not wait on whoever reads it: the text
// goes through a bounded buffer that a thread of its own writes out, so a pipe nobody reads
// fills the buffer instead of stopping the line. The log stays the durable record.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

class OutputQueue {
public:
    OutputQueue(std::ostream& out, size_t limitBytes);
    // Waits for the writing thread to write what is queued.
    ~OutputQueue();

    // Ends a queue: destroyed when all is written, else left to its thread, stuck in a write
    // to a reader that went away without closing its end (see AnyStuck).
    static void LetGo(std::unique_ptr<OutputQueue> queue);

    enum class Put { Queued, Full, Failed };
    // Queues text whole, or returns Full (nothing queued) when it would pass the limit, or
    // Failed once a write failed.
    Put Push(const std::string& text);
    // Waits for room for text, or for a failure; Queued or Failed.
    Put PushWaiting(const std::string& text);
    // Waits up to ms for everything queued to be written; false when it was not.
    bool Drain(int ms);
    // Whether a write failed, and its errno (0 when the stream gave none).
    bool Failed();
    int FailureCode();
    // Texts queued and not yet written.
    size_t Waiting();

    // Whether a queue was let go with its thread stuck in a write: the program must then end
    // with _Exit, since exit would flush the same stream and hang.
    static bool AnyStuck();

private:
    void WriteOut();

    std::ostream& out_;
    size_t limitBytes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> texts_;
    size_t bytes_ = 0;
    bool writing_ = false;  // a text is out of the queue and being written
    bool failed_ = false;
    bool closing_ = false;
    int failureCode_ = 0;
    std::thread writer_;
};
