#include "app/view_information.h"

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "movie/file_link_information_data.h"
#include "movie/file_to_play.h"
#include "base/text/time_text.h"
#include "ui/view_file_link.h"
#include "ui/view_label.h"

namespace {
constexpr uint32_t kHeaderKind = 1;
constexpr uint32_t kLineKind = 3;
constexpr int kPanelWidth = 400;
const QRect kNewLine(0, 0, 80, 30);

QString line_text(const QWidget* line) {
    if (auto* link = qobject_cast<const ViewFileLink*>(line)) return link->path();
    if (auto* label = qobject_cast<const ViewLabel*>(line)) return label->text();
    return QString();
}
}  // namespace

ViewInformation::ViewInformation(QWidget* parent) : QWidget(parent) {
    m_title = addLabel("Information", kHeaderKind);
    m_movieLink = new ViewFileLink(this, kNewLine, 0);
    m_fileSize = addLabel("Filesize", kLineKind);
    m_videoHeader = addLabel("Video", kHeaderKind);
    m_pictureSize = addLabel("Size", kLineKind);
    m_multipleOf4 = addLabel("Multiple of 4", kLineKind);
    m_duration = addLabel("Duration", kLineKind);
    m_frameRate = addLabel("Fps", kLineKind);
    m_timecode = addLabel("Timecode", kLineKind);
    m_codec = addLabel("Codec", kLineKind);
    m_alpha = addLabel("Alpha", kLineKind);
    m_bitrate = addLabel("Bitrate", kLineKind);
    m_gpuBandwidth = addLabel("GPU bandwidth", kLineKind);
    m_audioHeader = addLabel("Audio", kHeaderKind);
    m_externalHeader = addLabel("External audio", kHeaderKind);
    clear();
}

ViewLabel* ViewInformation::addLabel(const QString& text, uint32_t kind) {
    auto* label = new ViewLabel(this, kNewLine, text, kind);
    label->show();
    return label;
}

void ViewInformation::setUnitSwitches(bool bitrate_in_bits, bool gpu_bandwidth_in_bits, bool filesize_ki) {
    m_bitrateBits = bitrate_in_bits;
    m_gpuBandwidthBits = gpu_bandwidth_in_bits;
    m_fileSizeKi = filesize_ki;
}

void ViewInformation::dropLines(QList<QWidget*>& lines) {
    // Hidden at once so an image rendered before the event loop runs never shows
    // them; deleted by the event loop.
    for (QWidget* line : lines) {
        line->hide();
        line->deleteLater();
    }
    lines.clear();
}

void ViewInformation::clearCropBoxLines() { dropLines(m_cropBoxLines); }

void ViewInformation::clearAudioLines() {
    dropLines(m_audioLines);
    dropLines(m_externalLines);
    m_audioHeader->hide();
    m_externalHeader->hide();
}

void ViewInformation::clear() {
    m_movieLink->setPath(QString());
    for (ViewLabel* line : {m_fileSize, m_pictureSize, m_multipleOf4, m_duration, m_frameRate, m_timecode, m_codec,
                            m_alpha, m_bitrate, m_gpuBandwidth})
        line->setText(QString());
    clearCropBoxLines();
    clearAudioLines();
}

void ViewInformation::setFileInfo(const FileToPlay* movie, const AllAudioSrcTracks* tracks) {
    if (!movie) {
        clear();
        return;
    }
    m_movieLink->setPath(movie->filePath());
    m_fileSize->setText(QString("Filesize : %1").arg(movie->fileSizeText(m_fileSizeKi)));
    m_pictureSize->setText(QString("%1 x %2 pixels").arg(movie->width()).arg(movie->height()));
    m_multipleOf4->setText(movie->isMultipleOf4() ? "Multiple of 4 resolution : Yes"
                                                  : "Multiple of 4 resolution : No");

    clearCropBoxLines();
    const QStringList crop_box = movie->sizeText();
    if (!crop_box.isEmpty()) {
        m_cropBoxLines << new ViewLabel(this, kNewLine, "Crop Box Metadata : ", kHeaderKind);
        for (const QString& text : crop_box) m_cropBoxLines << new ViewLabel(this, kNewLine, text, kLineKind);
        for (QWidget* line : m_cropBoxLines) line->show();
    }

    // The file's own rate, whatever rate playback uses.
    const uint32_t frames = movie->frameCount();
    const float rate = movie->fileFps();
    if (frames == 1) m_duration->setText("00:00:00:01 (1 frame)");
    else m_duration->setText(QString("%1 (%2 frames)").arg(timecode_format_frames(frames, rate)).arg(frames));
    m_frameRate->setText(QString("%1 fps").arg(QString::number(double(rate), 'f', 2) +
                                               (movie->isVariableFps() ? " (Variable Fps)" : "")));
    m_timecode->setText(movie->hasTimecode() ? QString("Start timecode : %1").arg(movie->timecodeStartText())
                                             : QString("Timecode : NA"));
    m_codec->setText(movie->codecText());
    m_alpha->setText(movie->alphaText());
    m_bitrate->setText(QString("Bitrate : %1").arg(movie->bitrateText(m_bitrateBits)));
    m_gpuBandwidth->setText(movie->isHapCodec()
                                ? QString("GPU bandwidth : %1").arg(movie->codecBitrateText(m_gpuBandwidthBits))
                                : QString());

    clearAudioLines();
    if (!tracks) return;
    const QStringList summary = tracks->summaryText();
    for (const QString& text : summary) m_audioLines << new ViewLabel(this, kNewLine, text, kLineKind);
    m_audioHeader->setVisible(!summary.isEmpty());
    for (AudioSrcTrack* track : tracks->tracks()) {
        if (!track->isWavFile()) continue;
        auto* link = new ViewFileLink(this, kNewLine, 0);
        link->setPath(track->name());
        m_externalLines << link << new ViewLabel(this, kNewLine, track->descriptorText(), kLineKind);
    }
    m_externalHeader->setVisible(!m_externalLines.isEmpty());
    for (QWidget* line : m_audioLines + m_externalLines) line->show();
}

QList<QWidget*> ViewInformation::fixedLinesBefore() const {
    return {m_title, m_movieLink, m_fileSize, m_videoHeader, m_pictureSize, m_multipleOf4};
}

QList<QWidget*> ViewInformation::fixedLinesAfter() const {
    return {m_duration, m_frameRate, m_timecode, m_codec, m_alpha, m_bitrate, m_gpuBandwidth};
}

void ViewInformation::updateLayout() {
    // The lines take the width the panel ends with, so no text runs past its edge
    // and the link zones handed to the video window stay inside the overlay.
    const int w = kPanelWidth - 25;
    int y = 15;
    const auto place = [&](QWidget* line) { line->setGeometry(20, y, w, 20); };
    for (QWidget* line : fixedLinesBefore() + m_cropBoxLines + fixedLinesAfter()) {
        place(line);
        y += line == m_title ? 30 : 25;
    }
    y += 5;
    if (!m_audioLines.isEmpty()) {
        place(m_audioHeader);
        for (QWidget* line : m_audioLines) {
            y += 25;
            place(line);
        }
        y += 25 + 15;
    }
    if (!m_externalLines.isEmpty()) {
        place(m_externalHeader);
        y += 20;
        for (int i = 0; i < m_externalLines.size(); ++i) {
            if (i % 2 == 0) y += 10;
            place(m_externalLines[i]);
            y += 25;
        }
    }
    setGeometry(0, 0, kPanelWidth, y);
}

QList<FileLinkInformationData*> ViewInformation::fileLinks() const {
    QList<FileLinkInformationData*> links;
    links << new FileLinkInformationData(nullptr, m_movieLink->geometry(), m_movieLink->path());
    for (QWidget* line : m_externalLines) {
        if (auto* link = qobject_cast<ViewFileLink*>(line))
            links << new FileLinkInformationData(nullptr, link->geometry(), link->path());
    }
    return links;
}

QStringList ViewInformation::lineTexts() const {
    QStringList texts;
    QList<QWidget*> lines = fixedLinesBefore() + m_cropBoxLines + fixedLinesAfter();
    if (!m_audioLines.isEmpty()) lines += QList<QWidget*>{m_audioHeader} + m_audioLines;
    if (!m_externalLines.isEmpty()) lines += QList<QWidget*>{m_externalHeader} + m_externalLines;
    for (const QWidget* line : lines) texts << line_text(line);
    return texts;
}

void ViewInformation::hide_widget() { hide(); }
