#pragma once
// Shared by the tests: a fresh, empty preferences file per test.

#include <QTemporaryDir>
#include <gtest/gtest.h>

// Points the standard user defaults at an empty file in a new temporary folder.
class FreshDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    QString defaultsPath() const;
    QTemporaryDir folder;
};
