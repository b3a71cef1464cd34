#include "system/error_message.h"

#include <gtest/gtest.h>

#include "system/string_utils.h"
#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::U;

TEST(FormatErrorMessage, FileKinds) {
  const std::u16string system = RawSystemErrorMessage(32);
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(FormatErrorMessage(ErrorInfo::File(kErrorFileDelete, u"D:\\x.exe", 32)),
            U("文件(D:\\x.exe)删除错误,错误码:32,") + system);
  EXPECT_EQ(FormatErrorMessage(ErrorInfo::File(kErrorFileRead, u"", 0)), U("文件(安装包)读取错误,错误码:0"));
  EXPECT_TRUE(StartsWith(FormatErrorMessage(ErrorInfo::File(0x10000007, u"a", 0)), U("文件(a)未知错误")));
  EXPECT_EQ(FormatErrorMessage(ErrorInfo::File(kErrorFileTooLargeForFat32, u"whatever", 112)),
            U("此游戏有大于4G的单个文件，请更换到NTFS格式的分区安装。"));
}

TEST(FormatErrorMessage, OtherCategories) {
  EXPECT_EQ(FormatErrorMessage(ErrorInfo::Numbers(kErrorArchiveHeader, 3, 0)), U("数据处理错误，偏移:3"));
  EXPECT_EQ(FormatErrorMessage(ErrorInfo::Number64(kErrorDecoder, 4294967296ULL)),
            U("数据处理错误，偏移:4294967296"));
  ErrorInfo registry;
  registry.kind = 0x20000003;
  registry.text = u"HKEY_CURRENT_USER\\Software\\X";
  registry.word4 = 5;
  EXPECT_EQ(FormatErrorMessage(registry), U("注册表未知错误,key:HKEY_CURRENT_USER\\Software\\X,错误码:5"));
  registry.kind = kErrorRegistryWrite;
  EXPECT_EQ(FormatErrorMessage(registry), U("注册表写入错误,key:HKEY_CURRENT_USER\\Software\\X,错误码:5"));
  ErrorInfo task;
  task.kind = kErrorTaskLine;
  task.text = u"run";
  task.text2 = u"x.exe /S";
  task.word3 = 0xFFFFFFFF;
  EXPECT_EQ(FormatErrorMessage(task), U("任务列表执行错误，命令行:x.exe /S,错误码:-1"));
  ErrorInfo exception;
  exception.kind = kErrorException;
  exception.text = u"bad";
  EXPECT_EQ(FormatErrorMessage(exception), U("未知错误:bad"));
  EXPECT_EQ(FormatErrorMessage(ErrorInfo::Numbers(0x80000000, 0, 0)), U("未知错误类型:-2147483648"));
}

}  // namespace
}  // namespace Zavro
