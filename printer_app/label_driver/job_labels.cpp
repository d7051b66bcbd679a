#include "printer_app/label_driver/job_labels.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/io/mapped_file.h"
#include "common/io/write_all.h"
#include "common/layout/render_on_label.h"
#include "common/tool_error.h"
#include "printer_app/cli/client_message.h"
#include "printer_app/label_driver/host_printer.h"
#include "printer_app/label_driver/label_driver.h"
#include "printer_app/label_driver/label_job.h"
#include "printer_app/label_driver/page_file_filter.h"
#include "printer_app/label_driver/raster_file.h"
#include "printer_app/label_driver/raw_stream.h"
#include "printer_app/state/job_facts.h"

namespace qxapp {
namespace {

constexpr int kSweepSeconds = 60;
constexpr const char* kSentSuffix = ".qxvn";
constexpr const char* kWaitingSuffix = ".waiting.qxvn";
constexpr const char* kCopiesSuffix = ".copies";  // of earlier versions (KeptFactsOfFile)

// Set once, before the system runs.
std::string g_folder;

std::string SentPath(int jobId) { return g_folder + "/" + std::to_string(jobId) + kSentSuffix; }
std::string WaitingPath(int jobId) { return g_folder + "/" + std::to_string(jobId) + kWaitingSuffix; }
std::string CopiesPath(int jobId) { return g_folder + "/" + std::to_string(jobId) + kCopiesSuffix; }

int OpenForWriting(const std::string& path, int flags) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | flags, 0600);
}

using qxvn::WriteAll;

bool IsFile(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

struct OptionsDeleter {
  void operator()(pappl_pr_options_t* options) const { papplJobDeletePrintOptions(options); }
};

// The pages of a waiting job's document as PrintPageFile prints them, each handed to `made`;
// with `onePass`, each page's first copy only. Throws ToolError with what stops it.
void MakePages(pappl_job_t* job, const std::string& document, bool onePass, const WaitingPage& made) {
  OpenedDocument opened = OpenJobDocument(job, document);
  if (!opened.source) throw qxvn::ToolError(opened.refusal);
  std::unique_ptr<qxvn::PageSource>& source = opened.source;
  const auto pages = static_cast<unsigned>(source->PageCount());
  std::unique_ptr<pappl_pr_options_t, OptionsDeleter> options(papplJobCreatePrintOptions(job, pages, true));
  if (!options) throw qxvn::ToolError("out of memory");
  JobChoices choices;
  PageJob spec = PageJobOf(job, options.get(), &choices);
  const BarcodeSettings barcodes =
      BarcodeSettingsOf(choices, spec.printerData, options->print_content_optimize);
  const qxvn::LayoutChoice layout = LayoutOfJob(job, *options);
  const unsigned first = std::max(options->first_page, 1u);
  const unsigned last = std::min(options->last_page, pages);
  int passes = 1;
  if (onePass)
    spec.copies = 1;
  else if (last > first && Collated(job))
    std::swap(passes, spec.copies);
  for (int pass = 0; pass < passes; ++pass) {
    for (unsigned number = first; number <= last; ++number) {
      qxvn::LaidOutFrom from;
      std::optional<std::vector<qxvn::barcode::Symbol>> found;
      qxvn::PageImage page = qxvn::RenderOnLabel(*source, number - 1, layout, 3, DocumentLimits(),
                                                 spec.documentName, &from, KeepBarcodesWhole(&found));
      std::vector<uint8_t> stream;
      std::string error;
      qxvn::barcode::PreparedPage symbols;
      // No job given: the plug-in's trace of a preview stays out of the job's log.
      if (!LabelPageStream(nullptr, spec, barcodes, page, &from,
                           from.page.pixels && found ? &*found : nullptr, &stream, &error, &symbols))
        throw qxvn::ToolError("the label driver failed: " + error);
      made(spec.pageNumber++, symbols, stream);
    }
  }
}

// The copies a raw stream is sent as: PAPPL's options of a raw job, as PrintRawFile takes them.
int RawStreamCopies(pappl_job_t* job) {
  std::unique_ptr<pappl_pr_options_t, OptionsDeleter> options(papplJobCreatePrintOptions(job, 1, false));
  return options && options->copies > 1 ? options->copies : 1;
}

// A raw stream sent once a copy. The stream is checked as PrintRawFile checks it; the copies of
// a large one are refused rather than fill the disk.
void WriteRawCopies(const std::string& document, int copies, int fd) {
  constexpr uint64_t kMostBytes = uint64_t{256} << 20;
  std::string why;
  const std::unique_ptr<qxvn::MappedFile> stream = ReadRawStream(document, &why);
  if (!stream) throw qxvn::ToolError(why);
  const std::span<const uint8_t> bytes = stream->Bytes();
  if (bytes.size() * static_cast<uint64_t>(copies) > kMostBytes)
    throw qxvn::ToolError("its " + std::to_string(copies) + " copies are too large to show");
  for (int copy = 0; copy < copies; ++copy)
    if (!WriteAll(fd, bytes.data(), bytes.size())) throw qxvn::ToolError(std::strerror(errno));
}

// The pages of a raster document as PAPPL plays it, of any other as the job lays it out.
void MakeDocumentPages(pappl_job_t* job, const std::string& document, bool onePass, const WaitingPage& made) {
  if (IsRasterFormat(papplJobGetFormat(job)))
    MakeRasterStream(job, document, made);
  else
    MakePages(job, document, onePass, made);
}

JobStream MakeWaitingStream(pappl_job_t* job) {
  JobStream result;
  result.waiting = true;
  const char* document = papplJobGetFilename(job);
  const std::string format = papplJobGetFormat(job) ? papplJobGetFormat(job) : "";
  if (!document) {
    result.why = "The job has no document yet.";
    return result;
  }
  const int rawCopies = format == kPrinterFormat ? RawStreamCopies(job) : 0;
  if (rawCopies == 1) {
    result.path = document;  // the stream it sends is its document
    return result;
  }
  const std::string target = WaitingPath(papplJobGetID(job));
  std::string temp = target + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    result.why = std::string("Unable to make the labels: ") + std::strerror(errno);
    return result;
  }
  try {
    if (rawCopies > 1)
      WriteRawCopies(document, rawCopies, fd);
    else
      MakeDocumentPages(
          job, document, false,
          [fd](unsigned, const qxvn::barcode::PreparedPage&, const std::vector<uint8_t>& stream) {
            if (!WriteAll(fd, stream.data(), stream.size())) throw qxvn::ToolError(std::strerror(errno));
          });
    if (close(fd) != 0 || rename(temp.c_str(), target.c_str()) != 0)
      throw qxvn::ToolError(std::strerror(errno));
    result.path = target;
  } catch (const qxvn::ToolError& e) {
    close(fd);
    unlink(temp.c_str());
    result.why = WithoutServerPaths(std::string("Unable to print the document: ") + e.what());
  } catch (const std::bad_alloc&) {
    close(fd);
    unlink(temp.c_str());
    result.why = "Unable to print the document: out of memory.";
  }
  return result;
}

// The label size a job's attributes name, in hundredths of a millimetre.
bool SizeFromAttributes(pappl_job_t* job, int* width, int* length) {
  *width = *length = 0;
  if (ipp_attribute_t* col = papplJobGetAttribute(job, "media-col");
      col && ippGetValueTag(col) == IPP_TAG_BEGIN_COLLECTION) {
    ipp_t* size = ippGetCollection(
        ippFindAttribute(ippGetCollection(col, 0), "media-size", IPP_TAG_BEGIN_COLLECTION), 0);
    *width = ippGetInteger(ippFindAttribute(size, "x-dimension", IPP_TAG_INTEGER), 0);
    *length = ippGetInteger(ippFindAttribute(size, "y-dimension", IPP_TAG_INTEGER), 0);
  } else if (ipp_attribute_t* media = papplJobGetAttribute(job, "media"); media) {
    if (pwg_media_t* pwg = pwgMediaForPWG(ippGetString(media, 0, nullptr))) {
      *width = pwg->width;
      *length = pwg->length;
    }
  }
  return *width > 0 && *length > 0;
}

// What was kept of a job as it started sending. Earlier versions kept it in a file of the job's
// own (its copies, then its label size; a file of the oldest has the copies only), read while
// such a job stays in the history.
std::optional<JobFacts> KeptFactsOfFile(int jobId) {
  char text[64] = {};
  const int fd = g_folder.empty() ? -1 : open(CopiesPath(jobId).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  const ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  long copies = 0, width = 0, length = 0;
  if (got <= 0 || std::sscanf(text, "%ld %ld %ld", &copies, &width, &length) < 1) return std::nullopt;
  return JobFactsOf(copies, width, length);
}

std::optional<JobFacts> KeptFactsOf(pappl_job_t* job) {
  const int jobId = papplJobGetID(job);
  if (auto facts = KeptJobFacts(papplPrinterGetID(papplJobGetPrinter(job)), jobId)) return facts;
  return KeptFactsOfFile(jobId);
}

// The job id a kept file is named after; 0 for any other name.
int JobIdOfName(const std::string& name) {
  char* end = nullptr;
  const long id = std::strtol(name.c_str(), &end, 10);
  if (id <= 0 || id > INT32_MAX ||
      (std::strcmp(end, kSentSuffix) != 0 && std::strcmp(end, kWaitingSuffix) != 0 &&
       std::strcmp(end, kCopiesSuffix) != 0))
    return 0;
  return static_cast<int>(id);
}

bool SweepTimer(pappl_system_t* system, void*) {
  SweepJobLabels(system);
  return true;
}

// A waiting job's stream still being made (or left by a crash while it was).
bool IsStaleTemporary(const std::string& path, const std::string& name) {
  struct stat info {};
  return name.find(std::string(kWaitingSuffix) + ".") != std::string::npos &&
         lstat(path.c_str(), &info) == 0 && info.st_mtime + 10 * kSweepSeconds < time(nullptr);
}

}  // namespace

bool CanMakePagesBeforePrinting(pappl_job_t* job) {
  const char* format = papplJobGetFormat(job);
  return papplJobGetFilename(job) && !(format && std::strcmp(format, kPrinterFormat) == 0);
}

std::string MakeWaitingPages(pappl_job_t* job, bool onePass, const WaitingPage& made) {
  try {
    MakeDocumentPages(job, papplJobGetFilename(job) ? papplJobGetFilename(job) : "", onePass, made);
    return "";
  } catch (const qxvn::ToolError& e) {
    return WithoutServerPaths(std::string("Unable to print the document: ") + e.what());
  } catch (const std::bad_alloc&) {
    return "Unable to print the document: out of memory.";
  }
}

void KeepJobLabelsIn(pappl_system_t* system, const std::string& folder) {
  g_folder = folder;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot make the folder of the job labels '%s': %s",
             folder.c_str(), std::strerror(errno));
  papplSystemAddTimerCallback(system, time(nullptr), kSweepSeconds, SweepTimer, nullptr);
}

void StartSentStream(pappl_job_t* job) {
  if (g_folder.empty()) return;
  const int jobId = papplJobGetID(job);
  unlink(WaitingPath(jobId).c_str());
  const int fd = OpenForWriting(SentPath(jobId), O_TRUNC);
  if (fd < 0)
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Cannot keep the job's labels for its pictures: %s",
                std::strerror(errno));
  else
    close(fd);
  // PAPPL keeps no attributes of a finished job across a restart: its copies and its label size
  // go with its saved line.
  JobFacts facts;
  if (ipp_attribute_t* copies = papplJobGetAttribute(job, "copies"))
    facts.copies = std::max(ippGetInteger(copies, 0), 1);
  SizeFromAttributes(job, &facts.width, &facts.length);
  KeepJobFacts(papplPrinterGetID(papplJobGetPrinter(job)), jobId, facts);
}

int CopiesOfJob(pappl_job_t* job) {
  if (ipp_attribute_t* copies = papplJobGetAttribute(job, "copies")) return ippGetInteger(copies, 0);
  const std::optional<JobFacts> kept = KeptFactsOf(job);
  return kept ? kept->copies : 1;
}

bool LabelSizeOfJob(pappl_job_t* job, int* width, int* length) {
  if (SizeFromAttributes(job, width, length)) return true;
  const std::optional<JobFacts> kept = KeptFactsOf(job);
  if (!kept || kept->width <= 0 || kept->length <= 0) return false;
  *width = kept->width;
  *length = kept->length;
  return true;
}

void KeepSentStream(pappl_job_t* job, const uint8_t* bytes, size_t size) {
  if (g_folder.empty() || size == 0) return;
  const int fd = OpenForWriting(SentPath(papplJobGetID(job)), O_APPEND);
  const bool ok = fd >= 0 && WriteAll(fd, bytes, size);
  const int error = errno;
  if (fd >= 0) close(fd);
  if (!ok)
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Cannot keep the job's labels for its pictures: %s",
                std::strerror(error));
}

pappl_job_t* FindSystemJob(pappl_system_t* system, int jobId) {
  struct Search {
    int id;
    pappl_job_t* job;
  } search{jobId, nullptr};
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t* printer, void* data) {
        auto* s = static_cast<Search*>(data);
        if (!s->job) s->job = papplPrinterFindJob(printer, s->id);
      },
      &search);
  return search.job;
}

JobStream StreamOfJob(pappl_job_t* job, bool fresh) {
  JobStream result;
  const int jobId = papplJobGetID(job);
  const ipp_jstate_t state = papplJobGetState(job);
  if (state == IPP_JSTATE_PENDING || state == IPP_JSTATE_HELD) {
    if (!fresh && IsFile(WaitingPath(jobId))) {
      result.path = WaitingPath(jobId);
      result.waiting = true;
      return result;
    }
    return MakeWaitingStream(job);
  }
  if (IsFile(SentPath(jobId)))
    result.path = SentPath(jobId);
  else
    result.why = state == IPP_JSTATE_PROCESSING ? "The job has sent no label yet." : "The job sent no label.";
  return result;
}

void SweepJobLabels(pappl_system_t* system) {
  if (g_folder.empty()) return;
  DIR* dir = opendir(g_folder.c_str());
  if (!dir) return;
  std::vector<std::string> gone;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = g_folder + "/" + name;
    if (const int jobId = JobIdOfName(name);
        jobId != 0 ? !FindSystemJob(system, jobId) : IsStaleTemporary(path, name))
      gone.push_back(path);
  }
  closedir(dir);
  for (const std::string& path : gone) unlink(path.c_str());
  ForgetJobFactsUnless([system](int printerId, int jobId) {
    pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr);
    return printer && papplPrinterFindJob(printer, jobId);
  });
}

}  // namespace qxapp
