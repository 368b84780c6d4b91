#pragma once
// ViewInformation: the file-information panel (Ctrl+I). Never shown as a window: the
// main window fills it for the open movie, lays it out, renders it into an image for
// the video overlay and takes its clickable file zones (fileLinks). It shows the
// movie's name as a link, file size, picture size, crop-box metadata, duration, frame
// rate, timecode, codec, alpha, bit rates, audio tracks and companion audio files.
// Reads the movie and the tracks only while setFileInfo runs; owns its lines.
// GUI thread only.
#include <QList>
#include <QStringList>
#include <QWidget>

class AllAudioSrcTracks;
class FileLinkInformationData;
class FileToPlay;
class ViewFileLink;
class ViewLabel;

class ViewInformation : public QWidget {
    Q_OBJECT
public:
    explicit ViewInformation(QWidget* parent = nullptr);

    // The units of the texts, copied from the preferences before setFileInfo: bit
    // rate and GPU bandwidth in bits (else bytes), file size in kiB (else kB).
    void setUnitSwitches(bool bitrate_in_bits, bool gpu_bandwidth_in_bits, bool filesize_ki);
    // Fills every line from the movie and its audio tracks; no movie clears them all.
    void setFileInfo(const FileToPlay* movie, const AllAudioSrcTracks* tracks);
    // Places the lines 25 pixels apart and makes the panel 400 wide and as high as
    // its content; every line is 375 wide (the panel less its margins).
    void updateLayout();
    // Clickable zones, new objects the caller owns: the movie link first, then each
    // companion file link, with their geometry in the panel.
    QList<FileLinkInformationData*> fileLinks() const;
    void clear();
    void clearAudioLines();
    void clearCropBoxLines();

    // The texts of the lines the layout places, top to bottom (a link gives its path).
    QStringList lineTexts() const;
    ViewFileLink* movieLink() const { return m_movieLink; }

public slots:
    void hide_widget();

protected:
    void resizeEvent(QResizeEvent*) override {}

private:
    ViewLabel* addLabel(const QString& text, uint32_t kind);
    QList<QWidget*> fixedLinesBefore() const;  // title to multiple of 4
    QList<QWidget*> fixedLinesAfter() const;   // duration to GPU bandwidth
    static void dropLines(QList<QWidget*>& lines);

    bool m_bitrateBits = true;
    bool m_gpuBandwidthBits = true;
    bool m_fileSizeKi = true;

    ViewLabel* m_title;
    ViewFileLink* m_movieLink;
    ViewLabel* m_fileSize;
    ViewLabel* m_videoHeader;
    ViewLabel* m_pictureSize;
    ViewLabel* m_multipleOf4;
    ViewLabel* m_duration;
    ViewLabel* m_frameRate;
    ViewLabel* m_timecode;
    ViewLabel* m_codec;
    ViewLabel* m_alpha;
    ViewLabel* m_bitrate;
    ViewLabel* m_gpuBandwidth;
    ViewLabel* m_audioHeader;
    ViewLabel* m_externalHeader;

    QList<QWidget*> m_cropBoxLines;
    QList<QWidget*> m_audioLines;
    QList<QWidget*> m_externalLines;  // pairs: file link, format text
};
