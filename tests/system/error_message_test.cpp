#include "system/error_message.h"

#include <gtest/gtest.h>

#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::U;

// Each category's record, made by its named function, gives its message, with the
// system error read from the word that category keeps it in.
TEST(FormatErrorMessage, EachCategory) {
  const std::u16string system = RawSystemErrorMessage(32);
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(FormatErrorMessage(ErrorInfo::File(kErrorFileDelete, u"D:\\x.exe", 32)),
            U("文件(D:\\x.exe)删除错误,错误码:32,") + system);
  const struct {
    ErrorInfo error;
    const char* message;
  } cases[] = {
      {ErrorInfo::File(kErrorFileRead, u"", 0), "文件(安装包)读取错误,错误码:0"},
      {ErrorInfo::File(ErrorKind{0x10000007}, u"a", 0), "文件(a)未知错误,错误码:0"},
      {ErrorInfo::File(kErrorFileTooLargeForFat32, u"x", 112), "此游戏有大于4G的单个文件，请更换到NTFS格式的分区安装。"},
      {ErrorInfo::Registry(ErrorKind{0x20000003}, u"HKEY_CURRENT_USER\\X", u"v", 7, 5),
       "注册表未知错误,key:HKEY_CURRENT_USER\\X,错误码:5"},
      {ErrorInfo::Data(kErrorDecoder, 4294967296ULL), "数据处理错误，偏移:4294967296"},
      {ErrorInfo::Task(u"run", u"x.exe /S", 0xFFFFFFFF), "任务列表执行错误，命令行:x.exe /S,错误码:-1"},
      {ErrorInfo::Exception(u"bad"), "未知错误:bad"},
      {ErrorInfo::Data(ErrorKind{0x80000000}, 0), "未知错误类型:-2147483648"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatErrorMessage(c.error), U(c.message)) << c.message;
}

}  // namespace
}  // namespace Zavro
