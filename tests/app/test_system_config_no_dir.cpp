// The settings file before any configuration directory was chosen: nothing is
// read or written, and both operations say why.
#include <gtest/gtest.h>

#include "app/launcher_state.h"
#include "app/system_config.h"
#include "runtime/config_directory.h"
#include "tests/support/test_support.h"

TEST(SystemConfigWithoutDirectory, LoadAndSaveOnlyReport)
{
    ASSERT_EQ(nullptr, vexa_client_get_config_directory());
    qv_test::log_capture log;
    beta_test_enable = 1;
    load_system_config_file();
    EXPECT_EQ(1, beta_test_enable);
    EXPECT_EQ("Unable to load system config - no config file directory.\n", log.text());
    log.reset();
    save_system_config_file();
    EXPECT_EQ("Unable to save system config - no config file directory.\n", log.text());
}
