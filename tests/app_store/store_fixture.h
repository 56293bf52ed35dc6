// The application object of the store tests and a fixture that starts every
// test from an empty settings key. The application name is the test
// executable's, so these keys are this program's alone.
#pragma once

#include "app/settings.h"
#include "framework/app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace storetest {

fw::CWinApp& TestApp();

// Deletes a key with everything below it; true if it is gone.
bool DeleteKeyTree(HKEY parent, const std::string& path);

// The application's key path below HKEY_CURRENT_USER, and a section's.
std::string AppKeyPath();
std::string SectionKeyPath(const std::string& section);

// Raw registry access for setting up and checking stored data.
bool KeyExists(const std::string& path);
DWORD ValueCount(const std::string& path);
bool SetRawValue(const std::string& section, const std::string& name, DWORD type, const void* data,
                 DWORD size);
bool GetRawValue(const std::string& section, const std::string& name, DWORD& type,
                 std::vector<unsigned char>& data);
bool DeleteValue(const std::string& section, const std::string& name);

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
};

} // namespace storetest
