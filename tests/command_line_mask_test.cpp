#include <gtest/gtest.h>

#include "discovery/CommandLineMask.h"

namespace {

using ZbCassandra::MaskCommandLineSecrets;

TEST(CommandLineMask, HidesValuesOfOptionsThatNameASecret) {
  EXPECT_EQ(MaskCommandLineSecrets("-Dcassandra-pidfile=/run/c.pid "
                                   "-Djavax.net.ssl.keyStorePassword=ks1 "
                                   "-Dcom.sun.management.jmxremote.password.file=/etc/p "
                                   "-DPriamToken=abc -Dx.PWD=y -Dsecret.key=a=b -Xmx1G\n"),
            "-Dcassandra-pidfile=/run/c.pid "
            "-Djavax.net.ssl.keyStorePassword=******** "
            "-Dcom.sun.management.jmxremote.password.file=******** "
            "-DPriamToken=******** -Dx.PWD=******** -Dsecret.key=******** -Xmx1G\n");
}

TEST(CommandLineMask, KeepsSeparatorsAndWordsWithoutAValue) {
  EXPECT_EQ(MaskCommandLineSecrets("  --password\t-Dpass=\n\n"),
            "  --password\t-Dpass=********\n\n");
  EXPECT_EQ(MaskCommandLineSecrets(""), "");
  EXPECT_EQ(MaskCommandLineSecrets("="), "=");
}

}  // namespace
