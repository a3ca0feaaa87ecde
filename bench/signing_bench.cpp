// Times the signing of a generated driver package and what it adds to an installation (Windows,
// under Wine):
//   keygen <bits> <runs>
//                  a key pair in a verify-only context (CryptoApiPackageCrypto::NewKey), all runs
//                  in this process
//   sign <driver bytes> <runs> [bits]
//                  PackageSigner::Sign in a scratch folder, each run in a process of its own
//                  ("sign-once <bits>"), as each installation is: the INF text the wizard makes
//                  from the kit's template, and a PE image padded to that size; where the middle
//                  run's time went, and the removal of its certificate from both stores after it
//   stores         the first listing of each store in a process against the second
//   reseed <hardware ID>
//                  a USB device without a driver whose first hardware ID is <hardware ID>&REV_0001
//                  (removed first if it exists, so that the next installation really installs)
//   wizard <KORVAwiz.exe> <hardware ID> <runs>
//                  the whole `KORVAwiz -nogui -hwid` run, as a process, for a reseeded device, and
//                  the same program's start and end without work ("-nogui" alone)
//   platform <INF file> <hardware ID> <runs>
//                  UpdateDriverForPlugAndPlayDevicesA alone, as the -nogui run calls it
//   install <KORVAwiz.exe> <hardware ID> <runs>
//                  both, alternating run by run, the platform's call with the INF file the
//                  wizard wrote, so that both see the same machine
// Every measurement is one line: the mode, its arguments, seconds of the best, the middle (and for
// keygen the mean) and the worst run, the number of runs, then name-value pairs (sign).
#include <windows.h>
#include <newdev.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/ansi_text.h"
#include "common/core/kit_certificate.h"
#include "common/core/kit_identity.h"
#include "common/guid_text.h"
#include "common/trust_stores.h"
#include "common/unique_resource.h"
#include "install/core/inf_template.h"
#include "install/core/pe_image_hash.h"
#include "install/engine/package_signing.h"
#include "install/engine/usb_device_list.h"
#include "bench/bench_clock.h"
#include "tools/test_bed.h"

namespace {

using korva::der::Bytes;

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\'));
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  korva::UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file.Valid()) return false;
  bytes.clear();
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file.Get())) > 0) bytes.append(buffer, got);
  return true;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  korva::UniqueFile file(std::fopen(path.c_str(), "wb"));
  return file.Valid() && std::fwrite(bytes.data(), 1, bytes.size(), file.Get()) == bytes.size();
}

// Best, middle, mean and worst of a set of run times.
struct Spread {
  double best, middle, mean, worst;
};

Spread SpreadOf(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  double sum = 0;
  for (double time : times) sum += time;
  return {times.front(), times[times.size() / 2], sum / static_cast<double>(times.size()),
          times.back()};
}

// keygen --------------------------------------------------------------------------------------

int KeyGeneration(DWORD bits, int runs) {
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    auto crypto = std::make_unique<korva::CryptoApiPackageCrypto>();
    double start = Now();
    DWORD error = crypto->NewKey(bits);
    times.push_back(Now() - start);
    if (error) {
      std::fprintf(stderr, "keygen %lu: error 0x%08lX\n", bits, error);
      return 1;
    }
  }
  Spread spread = SpreadOf(times);
  std::printf("keygen %lu %.4f %.4f %.4f %.4f %d\n", bits, spread.best, spread.middle, spread.mean,
              spread.worst, runs);
  return 0;
}

// sign ----------------------------------------------------------------------------------------

// When each timed call of one Sign began and ended, in the order they came.
struct Marks {
  double keyStart = 0, keyEnd = 0;
  std::vector<std::pair<double, double>> hashes;  // the first two: the INF file, the binary
  double signing = 0;                             // inside the RSA signature
  double releaseEnd = 0;                          // the key pair's context released
  double firstStoreCall = 0;
  double list = 0, remove = 0, add = 0;
};

Marks marks;

// The platform's cryptography, timed call by call.
class TimedCrypto : public korva::PackageCrypto {
 public:
  ~TimedCrypto() override {
    inner_.reset();
    marks.releaseEnd = Now();
  }
  DWORD NewKey(DWORD bits) override {
    marks.keyStart = Now();
    DWORD error = inner_->NewKey(bits);
    marks.keyEnd = Now();
    return error;
  }
  DWORD ExportPublicKey(Bytes& blob) override { return inner_->ExportPublicKey(blob); }
  DWORD Hash(const std::vector<korva::HashPiece>& pieces, size_t zeroPadding,
             korva::DigestAlgorithm digest, Bytes& out) override {
    double start = Now();
    DWORD error = inner_->Hash(pieces, zeroPadding, digest, out);
    marks.hashes.push_back({start, Now()});
    return error;
  }
  DWORD Sign(const Bytes& data, korva::DigestAlgorithm digest, Bytes& signature) override {
    double start = Now();
    DWORD error = inner_->Sign(data, digest, signature);
    marks.signing += Now() - start;
    return error;
  }
  DWORD Random(size_t count, Bytes& out) override { return inner_->Random(count, out); }

 private:
  std::unique_ptr<korva::PackageCrypto> inner_ = std::make_unique<korva::CryptoApiPackageCrypto>();
};

// The local machine's stores, timed call by call.
class TimedStores : public korva::SystemTrustStores {
 public:
  DWORD List(const char* store, std::vector<korva::StoredCertificate>& certificates) override {
    double start = Begin();
    DWORD error = SystemTrustStores::List(store, certificates);
    marks.list += Now() - start;
    return error;
  }
  DWORD Add(const char* store, const Bytes& certificate) override {
    double start = Begin();
    DWORD error = SystemTrustStores::Add(store, certificate);
    marks.add += Now() - start;
    return error;
  }
  DWORD Remove(const char* store, const Bytes& certificate) override {
    double start = Begin();
    DWORD error = SystemTrustStores::Remove(store, certificate);
    marks.remove += Now() - start;
    return error;
  }

 private:
  static double Begin() {
    double now = Now();
    if (marks.firstStoreCall == 0) marks.firstStoreCall = now;
    return now;
  }
};

// The INF text the wizard writes for a device: the kit's template, filled in line by line, with
// the wizard's header and line markers and CR LF line ends.
std::string InfText(const std::string& templateText, const std::string& hardwareId) {
  korva::TemplateValues values;
  values.hardwareId = hardwareId;
  values.deviceDescription = korva::InfQuotedText(
      korva::BuildDeviceDescription(hardwareId, false, "", korva::IsAnsiLeadByte));
  values.driverName = "korva";
  std::string text = korva::WithCrLfLineEnds(korva::GeneratedInfHeader());
  size_t start = 0;
  while (start < templateText.size()) {
    size_t end = templateText.find('\n', start);
    end = end == std::string::npos ? templateText.size() : end + 1;
    std::string line = templateText.substr(start, end - start);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line += '\n';
    if (korva::FillPlaceholders(line, values) > 0) {
      text += korva::WithCrLfLineEnds(korva::GeneratedLineMarker());
    }
    text += korva::WithCrLfLineEnds(line);
    start = end;
  }
  return text;
}

// The small PE image of the build with bytes after its end (data outside the image, which the
// image hash covers) to `size`.
bool MakeDriverBinary(size_t size, std::string& bytes) {
  if (!ReadFileBytes(ProgramFolder() + "\\signing_bench_image.dll", bytes)) return false;
  if (bytes.size() > size) return false;
  std::uint32_t state = 2463534242u;
  while (bytes.size() < size) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bytes += static_cast<char>(state);
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  return korva::PlanImageHash(data, bytes.size()).kind == korva::ImageKind::kPeImage;
}

// The package a sign run signs, in a scratch folder.
korva::PackageToSign ScratchPackage() {
  const std::string folder = "C:\\korvabench";
  korva::PackageToSign package;
  package.hardwareId = "USB\\VID_0547&PID_7E01&REV_0001";
  package.infPath = folder + "\\korvawiz.inf";
  package.driverPath = folder + "\\korva.sys";
  package.catalogPath = folder + "\\korvawiz.cat";
  package.certificatePath = folder + "\\korvawiz.cer";
  return package;
}

bool WritePackage(size_t driverSize) {
  CreateDirectoryA("C:\\korvabench", nullptr);
  korva::PackageToSign package = ScratchPackage();
  std::string templateText;
  if (!ReadFileBytes(ProgramFolder() + "\\..\\kit\\korvawiz.tpl", templateText)) {
    std::fprintf(stderr, "sign: the kit's korvawiz.tpl is not in the build's kit folder\n");
    return false;
  }
  std::string driver;
  if (!MakeDriverBinary(driverSize, driver)) {
    std::fprintf(stderr, "sign: no PE image of %zu bytes from signing_bench_image.dll\n",
                 driverSize);
    return false;
  }
  if (!WriteFileBytes(package.infPath, InfText(templateText, package.hardwareId)) ||
      !WriteFileBytes(package.driverPath, driver)) {
    std::fprintf(stderr, "sign: the package could not be written to C:\\korvabench\n");
    return false;
  }
  return true;
}

// One Sign in this process, which has made no other, as in an installation: the first opening
// of a store and of the provider cost more than later ones. Prints where the time went as
// name-value pairs, and takes the certificate out of both stores again.
int SignOnce(DWORD bits) {
  korva::PackageToSign package = ScratchPackage();
  if (!ReadFileBytes(package.infPath, package.infText)) return 1;
  TimedStores stores;
  korva::PackageSigner signer(stores);
  signer.keyBits = bits;
  signer.newCrypto = [] { return std::make_unique<TimedCrypto>(); };
  korva::SigningFailure failure;
  double start = Now();
  bool signedOk = signer.Sign(package, failure);
  double total = Now() - start;
  if (!signedOk || marks.hashes.size() < 2) {
    std::printf("failed 0x%08lX %s\n", failure.code, failure.subject.c_str());
    return 1;
  }
  // Trusted no longer: each run starts from stores without this package's certificate.
  std::string certificate;
  ReadFileBytes(package.certificatePath, certificate);
  Bytes encoded(certificate.begin(), certificate.end());
  korva::SystemTrustStores system;
  double cleanupStart = Now();
  for (const char* store : korva::kKitCertificateStores) {
    if (DWORD error = system.Remove(store, encoded)) {
      std::printf("failed 0x%08lX removal from %s\n", error, store);
      return 1;
    }
  }
  double cleanup = Now() - cleanupStart;
  const Marks& m = marks;
  double key = m.keyEnd - m.keyStart;
  double hash = (m.hashes[0].second - m.hashes[0].first) + (m.hashes[1].second - m.hashes[1].first);
  // Between the two hashes the binary is read and its image hash planned.
  double read = m.hashes[1].first - m.hashes[0].second;
  // The public key, the random numbers, the catalog's DER, its signature, the context's end.
  double catalog = m.releaseEnd - m.hashes[1].second;
  double write = m.firstStoreCall - m.releaseEnd;
  double storesTime = m.list + m.remove + m.add;
  double other = total - key - hash - read - catalog - write - storesTime;
  std::printf(
      "total %.4f key %.4f read %.4f hash %.4f catalog %.4f rsa %.4f write %.4f stores %.4f "
      "list %.4f remove %.4f add %.4f other %.4f cleanup %.4f inf %zu\n",
      total, key, read, hash, catalog, m.signing, write, storesTime, m.list, m.remove, m.add, other,
      cleanup, package.infText.size());
  return 0;
}

// What a store costs in a process that has opened none yet, against the second time: each
// store listed twice, with how many certificates it holds.
int Stores() {
  korva::SystemTrustStores stores;
  std::printf("stores");
  for (int round = 1; round <= 2; ++round) {
    for (const char* store : korva::kKitCertificateStores) {
      std::vector<korva::StoredCertificate> stored;
      double start = Now();
      DWORD error = stores.List(store, stored);
      double seconds = Now() - start;
      if (error) {
        std::printf("\nstores: %s: error 0x%08lX\n", store, error);
        return 1;
      }
      std::printf(" %s%d %.4f %s-count %zu", store, round, seconds, store, stored.size());
    }
  }
  std::printf("\n");
  return 0;
}

// Runs a command line and collects its standard output (and error); false when it did not
// start or did not end with 0.
bool RunCollecting(std::string command, std::string& output) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
  korva::UniqueHandle reader(readEnd), writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  korva::UniqueHandle child(process.hProcess), thread(process.hThread);
  writer.Reset();  // the pipe ends when the child's end goes
  output.clear();
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    output.append(buffer, got);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  return status == 0;
}

// Name-value pairs of a sign-once line.
struct Breakdown {
  std::vector<std::pair<std::string, double>> values;
  double Get(const std::string& name) const {
    for (const auto& value : values) {
      if (value.first == name) return value.second;
    }
    return 0;
  }
};

Breakdown ParseBreakdown(const std::string& line) {
  Breakdown breakdown;
  size_t at = 0;
  char name[32];
  double value = 0;
  int used = 0;
  while (std::sscanf(line.c_str() + at, "%31s %lf%n", name, &value, &used) == 2) {
    breakdown.values.push_back({name, value});
    at += static_cast<size_t>(used);
  }
  return breakdown;
}

// Each run a process of its own, as each installation is.
int Sign(size_t driverSize, int runs, DWORD bits) {
  if (!WritePackage(driverSize)) return 1;
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::vector<Breakdown> done;
  for (int run = 0; run < runs; ++run) {
    std::string output;
    std::string command = "\"" + std::string(self) + "\" sign-once " + std::to_string(bits);
    if (!RunCollecting(command, output)) {
      std::fprintf(stderr, "sign: %s", output.c_str());
      return 1;
    }
    done.push_back(ParseBreakdown(output));
  }
  std::sort(done.begin(), done.end(),
            [](const Breakdown& a, const Breakdown& b) { return a.Get("total") < b.Get("total"); });
  // The breakdown of the middle run: the installation as it typically goes, key generation's
  // time being a matter of chance.
  const Breakdown& middle = done[done.size() / 2];
  std::printf("sign %zu %lu %.4f %.4f %.4f %d", driverSize, bits, done.front().Get("total"),
              middle.Get("total"), done.back().Get("total"), runs);
  for (const auto& value : middle.values) {
    if (value.first != "total") std::printf(" %s %.4f", value.first.c_str(), value.second);
  }
  std::printf("\n");
  return 0;
}

// Installation --------------------------------------------------------------------------------

// GUID_DEVCLASS_USB: the class of a USB device before its driver is installed.
GUID UsbClass() {
  GUID guid{};
  korva::ParseGuidText("{36fc9e60-c465-11cf-8056-444553540000}", guid);
  return guid;
}

std::string InstanceIdFor(const std::string& hardwareId) { return hardwareId + "\\SIGNBENCH1"; }

std::string FirstHardwareId(const std::string& hardwareId) { return hardwareId + "&REV_0001"; }

// A connected USB device of that ID without a driver, as before its first installation.
bool Reseed(const std::string& hardwareId) {
  std::string instanceId = InstanceIdFor(hardwareId);
  if (korva::testbed::DeviceExists(instanceId)) {
    if (DWORD error = korva::testbed::RemoveDevice(instanceId)) {
      std::fprintf(stderr, "reseed: removal failed with error %lu\n", error);
      return false;
    }
  }
  korva::testbed::DeviceSeed seed;
  seed.instanceId = instanceId;
  seed.classGuid = UsbClass();
  seed.hardwareIds = {FirstHardwareId(hardwareId), hardwareId};
  seed.description = "Signing bench board";
  seed.manufacturer = "KORVA bench";
  seed.location = "Port_#0001.Hub_#0001";
  if (DWORD error = korva::testbed::AddDevice(seed)) {
    std::fprintf(stderr, "reseed: error %lu\n", error);
    return false;
  }
  return true;
}

// Whether the kit's driver is on the device now: its INF file's AddReg ran.
bool Installed(const std::string& hardwareId) {
  std::string instanceId = InstanceIdFor(hardwareId);
  return korva::testbed::HasDriverKey(instanceId) &&
         korva::testbed::ReadDeviceValue(instanceId, DIREG_DEV, korva::kKitIdentValueName) ==
             korva::kKitIdent;
}

// Seconds from starting the program with these arguments to its end, or a negative number when
// it did not end with `expected`.
double TimeProcess(const std::string& program, const std::string& arguments, DWORD expected) {
  // Its record goes nowhere: this program's output is the measurements.
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  korva::UniqueHandle nul(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inherit, OPEN_EXISTING, 0, nullptr));
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.Get();
  std::string command = "\"" + program + "\" " + arguments;
  PROCESS_INFORMATION process{};
  double start = Now();
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "%s: not started (error %lu)\n", program.c_str(), GetLastError());
    return -1;
  }
  korva::UniqueHandle child(process.hProcess), thread(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  double seconds = Now() - start;
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  if (status != expected) {
    std::fprintf(stderr, "%s %s: exit status %lu\n", program.c_str(), arguments.c_str(), status);
    return -1;
  }
  return seconds;
}

// Seconds of one -nogui run for a device without a driver, or a negative number when it did not
// install.
double RunWizard(const std::string& program, const std::string& hardwareId) {
  if (!Reseed(hardwareId)) return -1;
  double seconds = TimeProcess(program, "-nogui -hwid " + FirstHardwareId(hardwareId), 0);
  if (seconds >= 0 && !Installed(hardwareId)) {
    std::fprintf(stderr, "wizard: ended with 0 but did not install\n");
    return -1;
  }
  return seconds;
}

// The same program started and ended without work (a -nogui run without a hardware ID: the
// usage error, exit status 3): what any run costs before and after its installation.
double RunWizardStart(const std::string& program) { return TimeProcess(program, "-nogui", 3); }

// Seconds of the platform's installation call alone, as the -nogui run makes it (forced,
// without a user), or a negative number when it did not install.
double RunPlatform(const std::string& infPath, const std::string& hardwareId) {
  if (!Reseed(hardwareId)) return -1;
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  korva::UniqueModule newdev(LoadLibraryExA((std::string(system) + "\\newdev.dll").c_str(), nullptr,
                                            LOAD_WITH_ALTERED_SEARCH_PATH));
  auto update =
      reinterpret_cast<decltype(&UpdateDriverForPlugAndPlayDevicesA)>(reinterpret_cast<void (*)()>(
          GetProcAddress(newdev.Get(), "UpdateDriverForPlugAndPlayDevicesA")));
  if (!update) return -1;
  SetupSetNonInteractiveMode(TRUE);
  BOOL restart = FALSE;
  std::string id = FirstHardwareId(hardwareId);
  double start = Now();
  BOOL ok = update(nullptr, id.c_str(), infPath.c_str(),
                   INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE, &restart);
  double seconds = Now() - start;
  DWORD error = ok ? 0 : GetLastError();
  if (!ok || !Installed(hardwareId)) {
    std::fprintf(stderr, "platform: %s (error 0x%08lX)\n", ok ? "not installed" : "failed", error);
    return -1;
  }
  return seconds;
}

// The certificates the wizard's runs left for this device go, as the Cleanup Wizard's would.
void ForgetCertificates(const std::string& hardwareId) {
  korva::SystemTrustStores stores;
  for (const char* store : korva::kKitCertificateStores) {
    std::vector<korva::StoredCertificate> stored;
    stores.List(store, stored);
    for (const korva::StoredCertificate& certificate : stored) {
      if (korva::IsKitCertificateSubjectFor(certificate.subject, korva::kKitIdent,
                                            FirstHardwareId(hardwareId))) {
        stores.Remove(store, certificate.encoded);
      }
    }
  }
}

void Print(const char* mode, const std::vector<double>& times) {
  Spread spread = SpreadOf(times);
  std::printf("%s %.4f %.4f %.4f %zu\n", mode, spread.best, spread.middle, spread.worst,
              times.size());
}

int Install(const std::string& mode, const std::string& target, const std::string& hardwareId,
            int runs) {
  // The wizard writes its INF file into the install folder beside its program.
  std::string infPath = target;
  if (mode != "platform")
    infPath = target.substr(0, target.find_last_of('\\')) + "\\install\\korvawiz.inf";
  std::vector<double> wizard, start, platform;
  for (int run = 0; run < runs; ++run) {
    if (mode != "platform") {
      double seconds = RunWizard(target, hardwareId);
      if (seconds < 0) return 1;
      wizard.push_back(seconds);
      seconds = RunWizardStart(target);
      if (seconds < 0) return 1;
      start.push_back(seconds);
    }
    if (mode != "wizard") {
      double seconds = RunPlatform(infPath, hardwareId);
      if (seconds < 0) return 1;
      platform.push_back(seconds);
    }
  }
  ForgetCertificates(hardwareId);
  if (!wizard.empty()) Print("wizard", wizard);
  if (!start.empty()) Print("wizard-start", start);
  if (!platform.empty()) Print("platform", platform);
  return 0;
}

int Usage() {
  std::fputs(
      "signing_bench keygen <bits> <runs> | sign <driver bytes> <runs> [bits] | sign-once <bits> "
      "|\n"
      "              stores | reseed <hardware ID> | wizard <KORVAwiz.exe> <hardware ID> <runs> |\n"
      "              platform <INF file> <hardware ID> <runs> |\n"
      "              install <KORVAwiz.exe> <hardware ID> <runs>\n"
      "  (the device's first hardware ID is <hardware ID>&REV_0001)\n",
      stderr);
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> a(argv, argv + argc);
  std::string mode = a.size() > 1 ? a[1] : "";
  // The run count is the last argument of the modes that take one.
  int runs = a.size() > 3 ? std::atoi(a[3].c_str()) : 0;
  if (mode == "install" || mode == "wizard" || mode == "platform") {
    runs = a.size() > 4 ? std::atoi(a[4].c_str()) : 0;
  }
  if (mode == "keygen" && a.size() == 4 && runs > 0) {
    return KeyGeneration(static_cast<DWORD>(std::atoi(a[2].c_str())), runs);
  }
  if (mode == "sign" && (a.size() == 4 || a.size() == 5) && runs > 0) {
    DWORD bits =
        a.size() == 5 ? static_cast<DWORD>(std::atoi(a[4].c_str())) : korva::kPackageKeyBits;
    return Sign(std::strtoull(a[2].c_str(), nullptr, 10), runs, bits);
  }
  if (mode == "sign-once" && a.size() == 3) {
    return SignOnce(static_cast<DWORD>(std::atoi(a[2].c_str())));
  }
  if (mode == "stores" && a.size() == 2) return Stores();
  if (mode == "reseed" && a.size() == 3) return Reseed(a[2]) ? 0 : 1;
  if ((mode == "wizard" || mode == "platform" || mode == "install") && a.size() == 5 && runs > 0) {
    return Install(mode, a[2], a[3], runs);
  }
  return Usage();
}
