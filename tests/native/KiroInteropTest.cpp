// Packages against the ZIP tools people have: ours must pass their tests, and
// theirs, holding the right entries, must import.
#include <gtest/gtest.h>

#include "shared/KiroFile.h"
#include "tests/native/FakePlatform.h"
#include "tests/native/KiroTestSink.h"
#include "tests/native/ToolRun.h"

namespace {

const std::string kData = R"({"drawList":[],"w":800,"h":600,"speed":1,"motion":"sway","holdSec":30})";

std::vector<std::uint8_t> Photo(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> bytes(size);
  unsigned state = seed;
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 16);
  return bytes;
}

TEST(KiroInterop, OurPackagesPassOtherReaders) {
  const TTempDir dir;
  const auto package = dir.Path() / "wall.kiro";
  ASSERT_TRUE(WriteKiro(package.string(), kData, {{0, "", Photo(200000, 1)}, {12, "", Photo(0, 2)}, {3, "", Photo(70000, 3)}}).ok);
  const std::string quoted = ShellQuoted(package);
  for (const std::string& command : {"unzip -t " + quoted, "bsdtar -tvf " + quoted, "python3 -m zipfile -t " + quoted}) {
    SCOPED_TRACE(command);
    const TToolRun run = RunTool(command);
    EXPECT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(run.output.find("arning"), std::string::npos) << run.output;
  }
  const TToolRun listed = RunTool("unzip -Z1 " + quoted);
  EXPECT_EQ(listed.output, "meta.json\ndata.json\nphotos/0000.jpg\nphotos/0003.jpg\nphotos/0012.jpg\n");
}

TEST(KiroInterop, PackagesOfOtherToolsImport) {
  const TTempDir dir;
  dir.Write("in/data.json", "\xEF\xBB\xBF" + kData);
  dir.Write("in/meta.json", R"({"format":"tessary-live","version":1})");
  const auto zero = Photo(150000, 4);
  const auto five = Photo(3000, 5);
  dir.Write("in/photos/0000.jpg", std::string(zero.begin(), zero.end()));
  dir.Write("in/photos/0005.jpg", std::string(five.begin(), five.end()));
  const std::string in = "cd " + ShellQuoted(dir.Path() / "in") + " && ";
  const auto target = [&](const std::string& file) { return ShellQuoted(dir.Path() / file); };
  // A small script writing the four files with `method` to a named file or
  // to its output. Written into a pipe, as with "zip -", an archive carries
  // data descriptors.
  const auto python = [](const std::string& method) {
    return "python3 -c 'import sys, zipfile\n"
           "z = zipfile.ZipFile(sys.argv[1] if len(sys.argv) > 1 else sys.stdout.buffer, \"w\", zipfile." +
           method +
           ")\n"
           "[z.write(n) for n in (\"data.json\", \"meta.json\", \"photos/0000.jpg\", \"photos/0005.jpg\")]\n"
           "z.close()' ";
  };
  struct TCase {
    std::string file;
    std::string command;
  };
  const TCase cases[] = {
      {"zip.kiro", "zip -q -r zip.kiro data.json meta.json photos"},
      {"zip-stored.kiro", "zip -q -0 -r zip-stored.kiro data.json photos"},
      {"zip-streamed.kiro", "zip -q -r - data.json photos | cat > zip-streamed.kiro"},
      {"python-stored.kiro", python("ZIP_STORED") + "python-stored.kiro"},
      {"python-deflated.kiro", python("ZIP_DEFLATED") + "python-deflated.kiro"},
      {"python-streamed.kiro", python("ZIP_DEFLATED") + "| cat > python-streamed.kiro"},
      {"bsdtar.kiro", "bsdtar --format zip -cf bsdtar.kiro data.json photos"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.command);
    const TToolRun made = RunTool(in + c.command + " && mv " + c.file + " " + target(c.file));
    ASSERT_EQ(made.code, 0) << made.output;
    TMemoryKiroSink sink;
    const TKiroResult result = ImportKiro((dir.Path() / c.file).string(), sink);
    ASSERT_TRUE(result.ok) << result.error << " / " << result.detail;
    EXPECT_EQ(sink.data, kData);
    ASSERT_EQ(sink.photos.size(), 2u);
    EXPECT_EQ(sink.photos[0], zero);
    EXPECT_EQ(sink.photos[5], five);
  }
}

}  // namespace
