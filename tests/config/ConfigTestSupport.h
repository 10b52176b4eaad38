#pragma once

#include "config/SettingsFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace vistrel::test {

// Each test gets a throwaway settings file; the process-wide name is forgotten afterwards.
class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override { SetSettingsFilePathForTesting(m_path); }
    void TearDown() override { SetSettingsFilePathForTesting({}); }

    const std::string& path() const { return m_path; }
    std::string content() const { return readFile(m_path); }
    void setContent(const std::string& text) const { writeFile(m_path, text); }

    TempDir m_dir;
    std::string m_path = m_dir.file("vistrel.ini");
};

// Sets (or, with nullopt, unsets) an environment variable for the life of the object.
class EnvOverride {
  public:
    EnvOverride(const char* name, std::optional<std::string> value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~EnvOverride()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace vistrel::test
