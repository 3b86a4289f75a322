#include <gtest/gtest.h>

#include "CYrError.h"
#include "FXErrorUtil.h"

namespace {

FXCodeLocation Here(int line) { return FXCodeLocation{"PriamUtil", "void f()", line}; }

TEST(CYrError, SuccessIsNotAnError) {
  CYrError ok = CYrError::Success();
  EXPECT_FALSE(ok.IsError());
  EXPECT_EQ(ok.Code(), 0);
  EXPECT_EQ(ok.AsString(), "Success");
  ok.Push(Here(1));  // nothing to push onto
  EXPECT_FALSE(ok.IsError());
  EXPECT_TRUE(ok.Frames().empty());
}

TEST(CYrError, FamiliesAreToldApart) {
  CYrError win = FXErrorUtil::ErrorWin32(Here(10), 5006, "JMXConnectionError");
  CYrError err = FXErrorUtil::ErrorErrNo(Here(11), 5006, "other");
  EXPECT_TRUE(win.IsError());
  EXPECT_TRUE(err.IsError());
  EXPECT_TRUE(FXErrorUtil::IsWin32(win, 5006));
  EXPECT_FALSE(FXErrorUtil::IsWin32(win, 5));
  EXPECT_FALSE(FXErrorUtil::IsWin32(err, 5006));
  EXPECT_TRUE(FXErrorUtil::IsErrNo(err, 5006));
  EXPECT_FALSE(FXErrorUtil::IsWin32(CYrError::Success(), 0));
  EXPECT_NE(win.Status(), err.Status());
}

TEST(CYrError, AsStringShowsFamilyCodeMessageAndLocationsNewestFirst) {
  CYrError error = FXErrorUtil::ErrorWin32(Here(10), 1168, "Failed to get %s", "java path");
  error.Push(Here(20));
  error.Push(Here(30), "Failed to copy %s to %s", "a", "b");
  EXPECT_EQ(error.Message(), "Failed to get java path");
  EXPECT_EQ(error.AsString(),
            "Win32 error 1168: Failed to get java path"
            " [at PriamUtil:30 void f(): Failed to copy a to b]"
            " [at PriamUtil:20 void f()]"
            " [at PriamUtil:10 void f()]");
  ASSERT_EQ(error.Frames().size(), 3u);
  EXPECT_EQ(error.Frames()[0].line, 30);
  EXPECT_EQ(error.Frames()[0].message, "Failed to copy a to b");
}

TEST(CYrError, PushOnACopyLeavesTheOriginalAlone) {
  CYrError original = FXErrorUtil::ErrorErrNo(Here(1), 1627, "x");
  CYrError copy = original;
  copy.Push(Here(2));
  EXPECT_EQ(original.Frames().size(), 1u);
  EXPECT_EQ(copy.Frames().size(), 2u);
  EXPECT_EQ(copy.Code(), 1627);
}

TEST(CYrError, MessageFormatsAnyLengthAndPercentSigns) {
  const std::string big(100000, 'x');
  CYrError error = FXErrorUtil::ErrorWin32(Here(1), 87, "%s %d%%", big.c_str(), 5);
  EXPECT_EQ(error.Message(), big + " 5%");
  EXPECT_EQ(FXErrorUtil::ErrorWin32(Here(1), 87, "%s", "").Message(), "");
}

TEST(CYrError, ErrnoFamilyTextAndMissingLocationParts) {
  CYrError error =
      FXErrorUtil::ErrorErrNo(FXCodeLocation{nullptr, nullptr, 0}, 2250, " Curl Init failed ");
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(error.GetFamily(), CYrError::Family::kErrNo);
  EXPECT_EQ(error.Message(), " Curl Init failed ");  // blanks kept
  EXPECT_EQ(error.AsString(), "errno error 2250:  Curl Init failed  [at :0 ]");
  EXPECT_FALSE(FXErrorUtil::IsErrNo(error, 1627));
  EXPECT_FALSE(FXErrorUtil::IsErrNo(CYrError::Success(), 0));
}

}  // namespace
