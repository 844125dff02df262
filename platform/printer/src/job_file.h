#pragma once
// The file a print job is drawn into before it replaces the PDF file or goes to a print
// queue, and the clean-up of those a crash left behind.
#include <QFile>

#include <string>
#include <vector>

namespace printer {

// A job file of a name of its own: beside the PDF file it will replace, so that the
// rename that commits it stays in one file system, or in the temporary folder for a queue.
std::string newJobFile(const std::string& pdfFile);

// Removes the job files in the folders that a process no longer running left behind.
void removeJobFilesLeftIn(const std::vector<std::string>& folders);

// A job file open for Qt's PDF writer, which reports no write error of its own: the file
// notes every write that fails, so that a job is sent only when all of it is on the disk.
class JobFile : public QFile {
public:
    explicit JobFile(const std::string& path);
    // Flushes the file to the disk and closes it. True when every write, the flush and
    // the close succeeded and the file ends as a PDF file ends.
    bool finish();

protected:
    qint64 writeData(const char* data, qint64 len) override;

private:
    bool failed_ = false;
};

}  // namespace printer
