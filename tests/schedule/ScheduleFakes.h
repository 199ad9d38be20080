#pragma once
// Fakes for the schedule's tests: a config store, a cycle and a sleeper that lets time pass at once.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Sleeper.h"
#include "schedule/ConfigStore.h"
#include "support/Texts.h"
#include "timesync/SyncCycle.h"

namespace kelvra::test {

class FakeStore final : public IConfigStore {
public:
    std::string ReadValue(const std::string& key, const std::string& section) override {
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard<std::mutex> lock(mutex);
            reads.push_back(key);
            hook = onRead;
        }
        if (hook) hook(key);
        std::lock_guard<std::mutex> lock(mutex);
        if (section != texts::kConfigSection) return std::string();
        const auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    }
    bool WriteValue(const std::string& value, const std::string& key, const std::string& section) override {
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard<std::mutex> lock(mutex);
            hook = onWrite;
        }
        if (hook) hook(key);
        std::lock_guard<std::mutex> lock(mutex);
        if (section != texts::kConfigSection) return false;
        writes.emplace_back(key, value);
        values[key] = value;
        return true;
    }
    void Set(const std::string& key, const std::string& value) {
        std::lock_guard<std::mutex> lock(mutex);
        values[key] = value;
    }
    std::string Get(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex);
        return values.count(key) ? values[key] : std::string("<missing>");
    }
    std::vector<std::string> Reads() {
        std::lock_guard<std::mutex> lock(mutex);
        return reads;
    }
    std::vector<std::pair<std::string, std::string>> Writes() {
        std::lock_guard<std::mutex> lock(mutex);
        return writes;
    }

    std::mutex mutex;
    std::map<std::string, std::string> values;
    std::vector<std::string> reads;
    std::vector<std::pair<std::string, std::string>> writes;
    std::function<void(const std::string&)> onRead;   // called before a read, outside the lock
    std::function<void(const std::string&)> onWrite;  // called before a write, outside the lock
};

// Returns the results in order (the last one again when they run out), or throws what `behaviour` throws.
class FakeCycle final : public ISyncCycle {
public:
    std::string SyncTime() override {
        ++calls;
        if (behaviour) return behaviour();
        if (results.empty()) return std::string();
        const std::string result = results.front();
        if (results.size() > 1) results.erase(results.begin());
        return result;
    }
    std::vector<std::string> results;
    std::function<std::string()> behaviour;
    int calls = 0;
};

// Records every sleep and returns at once; reports a stop from the `stopAtSleep`-th sleep on
// (1-based; 0: never).
class FakeSleeper final : public platform::ISleeper {
public:
    bool Sleep(uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        if (stopAtSleep != 0 && sleeps.size() >= stopAtSleep) stopped = true;
        return !stopped;
    }
    bool StopRequested() const override { return stopped; }
    size_t Count(uint32_t milliseconds) const {
        size_t n = 0;
        for (uint32_t s : sleeps) n += s == milliseconds ? 1 : 0;
        return n;
    }
    std::vector<uint32_t> sleeps;
    size_t stopAtSleep = 0;
    bool stopped = false;
};

// A gate a fake can block on until the test opens it.
class Latch {
public:
    void Open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

}  // namespace kelvra::test
