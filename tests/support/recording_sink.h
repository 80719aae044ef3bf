#pragma once
// A results sink that keeps what it was given, for tests.

#include <mutex>
#include <string>
#include <vector>

#include "capture/results_sink.h"

namespace vantrel::test {

class CRecordingSink : public IResultsSink {
public:
    struct Op {
        bool clear = false;
        std::string text;
        Colour colour = 0;
    };
    void AppendText(std::string_view text, Colour colour) override {
        std::lock_guard lock(m_mutex);
        m_ops.push_back({false, std::string(text), colour});
        m_pane.append(text);
    }
    void ClearText() override {
        std::lock_guard lock(m_mutex);
        m_ops.push_back({true, {}, 0});
        m_pane.clear();
        ++m_clears;
    }
    std::vector<Op> Ops() const {
        std::lock_guard lock(m_mutex);
        return m_ops;
    }
    // What the pane shows now.
    std::string Pane() const {
        std::lock_guard lock(m_mutex);
        return m_pane;
    }
    int Clears() const {
        std::lock_guard lock(m_mutex);
        return m_clears;
    }
    size_t Appends() const {
        std::lock_guard lock(m_mutex);
        size_t n = 0;
        for (const Op& op : m_ops) n += !op.clear;
        return n;
    }
    void Forget() {
        std::lock_guard lock(m_mutex);
        m_ops.clear();
        m_pane.clear();
        m_clears = 0;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Op> m_ops;
    std::string m_pane;
    int m_clears = 0;
};

}  // namespace vantrel::test
