#include "system/error_message.h"

#include "system/format.h"
#include "system/system_error.h"

namespace Zavro {

namespace {

const char16_t* FileOperation(ErrorKind kind) {
  switch (kind) {
    case kErrorFileCreate: return u"创建";
    case kErrorFileRead: return u"读取";
    case kErrorFileWrite: return u"写入";
    case kErrorFileDelete: return u"删除";
    case kErrorFileExecute: return u"执行";
    default: return u"未知";
  }
}

const char16_t* RegistryOperation(ErrorKind kind) {
  switch (kind) {
    case kErrorRegistryWrite: return u"写入";
    case kErrorRegistryRead: return u"读取";
    default: return u"未知";
  }
}

}  // namespace

std::u16string FormatErrorMessage(const ErrorInfo& error) {
  switch (error.Category()) {
    case kErrorCategoryFile: {
      if (error.kind == kErrorFileTooLargeForFat32) {
        return u"此游戏有大于4G的单个文件，请更换到NTFS格式的分区安装。";
      }
      const std::u16string name = error.Subject().empty() ? u"安装包" : error.Subject();
      std::u16string description;
      if (error.SystemError() != 0) {
        const std::u16string system = RawSystemErrorMessage(error.SystemError());
        if (!system.empty()) description = u"," + system;
      }
      return FormatString(u"文件(%s)%s错误,错误码:%d%s", name, FileOperation(error.kind),
                          static_cast<int32_t>(error.SystemError()), description);
    }
    case kErrorCategoryRegistry:
      return FormatString(u"注册表%s错误,key:%s,错误码:%d", RegistryOperation(error.kind), error.Subject(),
                          static_cast<int32_t>(error.SystemError()));
    case kErrorCategoryData:
      return FormatString(u"数据处理错误，偏移:%I64u", error.Value64());
    case kErrorCategoryTask:
      return FormatString(u"任务列表执行错误，命令行:%s,错误码:%d", error.Detail(), static_cast<int32_t>(error.Number()));
    case kErrorCategoryException:
      return FormatString(u"未知错误:%s", error.Subject());
    default:
      return FormatString(u"未知错误类型:%d", static_cast<int32_t>(error.kind));
  }
}

}  // namespace Zavro
