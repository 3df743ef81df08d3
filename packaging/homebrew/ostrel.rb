# A Homebrew formula for ostrel, for a tap. At each release, set homepage,
# url and sha256 to the project's page, the release's source tarball and
# that tarball's checksum (`shasum -a 256`).
class Ostrel < Formula
  desc "Edit the dictionary, text rules and style of Ostrel's settings file"
  homepage "https://example.com/ostrel"
  url "https://example.com/ostrel/ostrel-0.2.0.tar.gz"
  sha256 "0000000000000000000000000000000000000000000000000000000000000000"

  depends_on "cmake" => :build
  depends_on "nlohmann-json" => :build
  depends_on "utf8proc"

  def install
    system "cmake", "-S", ".", "-B", "build", "-DOSTREL_BUILD_TESTS=OFF", *std_cmake_args
    system "cmake", "--build", "build"
    system "cmake", "--install", "build"
  end

  test do
    # The config lives under HOME: edit a scratch one, then read it back.
    ENV["HOME"] = testpath
    system bin/"ostrel", "dict", "add", "Quokka"
    assert_equal "Quokka\n", shell_output("#{bin}/ostrel dict list")
    config = testpath/"Library/Application Support/Ostrel/agent-config.json"
    assert_match "\"Quokka\"", config.read
  end
end
