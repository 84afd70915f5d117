#include "tools/plughost/check_file.h"

#include "tools/hostkit/plugin_library.h"
#include "tools/pe_image/pe_image.h"
#include "tools/strings/hex.h"
#include "tools/strings/join.h"

namespace plughost {
namespace {

constexpr std::size_t FunctionsListedPerModule = 6;

std::string ImportsText(const pe_image::PeImage& image) {
  if (image.imports.empty()) return "none";
  std::vector<std::string> modules;
  for (const pe_image::ImportedModule& module : image.imports) {
    if (module.functions.size() <= FunctionsListedPerModule) {
      modules.push_back(module.name + " (" + strings::Join(module.functions) + ")");
    } else {
      modules.push_back(module.name + " (" + std::to_string(module.functions.size()) +
                        " functions)");
    }
  }
  return strings::Join(modules);
}

}  // namespace

void CheckFileKind(CheckContext& context) {
  const pe_image::PeImage* image = context.image();
  if (image == nullptr) return context.Fail(context.imageError());
  if (!image->isDll || image->machine != pe_image::MachineI386 || !image->isPe32) {
    return context.Fail(std::string(image->isDll ? "a DLL" : "a program, not a DLL") +
                        " for machine " + strings::Hex(image->machine, 4) +
                        (image->isPe32 ? "" : " (64-bit)") +
                        ": the host loads 32-bit Windows DLLs (i386)");
  }
  context.Pass("32-bit Windows DLL (i386)");
}

void CheckImports(CheckContext& context) {
  context.Note(ImportsText(*context.image()));
}

void CheckHardening(CheckContext& context) {
  const pe_image::PeImage& image = *context.image();
  std::vector<std::string> lacking;
  if (!image.dynamicBase || !image.hasRelocations) {
    lacking.emplace_back(image.dynamicBase ? "ASLR (relocations stripped)"
                                           : "ASLR (no dynamic base flag)");
  }
  if (!image.nxCompat) lacking.emplace_back("DEP (no NX compatible flag)");
  if (lacking.empty()) {
    context.Pass("dynamic base with relocations, NX compatible");
  } else {
    context.Warn("without " + strings::Join(lacking));
  }
}

void CheckExports(CheckContext& context) {
  const pe_image::PeImage& image = *context.image();
  std::vector<std::string> found;
  std::vector<std::string> missing;
  std::vector<std::string> decorated;
  for (const char* wanted : hostkit::PluginExportNames) {
    bool exported = false;
    for (const pe_image::ExportedFunction& function : image.exports) {
      exported = exported || function.name == wanted;
    }
    if (exported) {
      found.emplace_back(wanted);
    } else if (const auto name = pe_image::FindDecoratedExport(image, wanted)) {
      decorated.push_back(*name);
    } else {
      missing.emplace_back(wanted);
    }
  }
  if (!decorated.empty()) {
    context.Fail(hostkit::DecoratedExportsText(decorated));
  }
  if (!missing.empty()) {
    context.Fail("does not export " + strings::Join(missing) +
                 " (the host needs all five by name)");
  }
  if (decorated.empty() && missing.empty()) context.Pass(strings::Join(found));
}

}  // namespace plughost
