#pragma once

// The scripting side of the fake RAS provider libraries, for the tests that load them.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>

namespace vistrel::test {

// The scripting side of a fake provider library: opened from the same file the manager loads,
// so both see one phone book. Reset on construction.
class FakeRas {
  public:
    explicit FakeRas(const char* path = FAKE_RAS_FULL)
    {
        m_library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (m_library)
            m_control = reinterpret_cast<Control>(dlsym(m_library, "FakeRasControl"));
        if (!m_control)
            ADD_FAILURE() << "cannot load the fake provider " << path;
        (*this)("reset");
    }
    ~FakeRas()
    {
        if (m_library)
            dlclose(m_library);
    }

    long operator()(const std::string& command)
    {
        return m_control ? m_control(command.c_str(), nullptr, 0) : -1;
    }
    std::string lastDial(const std::string& field)
    {
        char out[300] = {};
        if (m_control)
            m_control(("last-dial|" + field).c_str(), out, sizeof out);
        return out;
    }
    long calls(const std::string& function) { return (*this)("count|" + function); }

  private:
    using Control = long (*)(const char*, char*, unsigned);
    void* m_library = nullptr;
    Control m_control = nullptr;
};

} // namespace vistrel::test
