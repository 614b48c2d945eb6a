#include "cli/OutputQueue.h"

#include <atomic>
#include <cerrno>
#include <chrono>

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

namespace {
std::atomic<bool> stuck{false};
}

OutputQueue::OutputQueue(std::ostream& out, size_t limitBytes)
    : out_(out), limitBytes_(limitBytes) {
#ifndef _WIN32
    // The stop signals go to the main thread: one caught here would cut a write short.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
#endif
    writer_ = std::thread([this] { WriteOut(); });
#ifndef _WIN32
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
#endif
}

OutputQueue::~OutputQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    writer_.join();
}

void OutputQueue::LetGo(std::unique_ptr<OutputQueue> queue) {
    if (!queue || queue->Drain(0)) return;
    stuck = true;
    queue.release();  // its thread still uses it: left for the end of the program
}

bool OutputQueue::AnyStuck() { return stuck; }

void OutputQueue::WriteOut() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !texts_.empty() || closing_; });
        if (texts_.empty()) return;
        const std::string text = std::move(texts_.front());
        texts_.pop_front();
        writing_ = true;
        lock.unlock();
        errno = 0;
        out_ << text;
        out_.flush();
        const bool written = static_cast<bool>(out_);
        const int code = written ? 0 : errno;
        lock.lock();
        writing_ = false;
        bytes_ -= text.size();
        if (!written && !failed_) {
            failed_ = true;
            failureCode_ = code;
            texts_.clear();
            bytes_ = 0;
        }
        changed_.notify_all();
    }
}

OutputQueue::Put OutputQueue::Push(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_) return Put::Failed;
    if (bytes_ + text.size() > limitBytes_ && bytes_ > 0) return Put::Full;
    texts_.push_back(text);
    bytes_ += text.size();
    changed_.notify_all();
    return Put::Queued;
}

OutputQueue::Put OutputQueue::PushWaiting(const std::string& text) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock,
                  [&] { return failed_ || bytes_ == 0 || bytes_ + text.size() <= limitBytes_; });
    if (failed_) return Put::Failed;
    texts_.push_back(text);
    bytes_ += text.size();
    changed_.notify_all();
    return Put::Queued;
}

bool OutputQueue::Drain(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                             [this] { return failed_ || (texts_.empty() && !writing_); });
}

bool OutputQueue::Failed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

int OutputQueue::FailureCode() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failureCode_;
}

size_t OutputQueue::Waiting() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_.size() + (writing_ ? 1 : 0);
}
