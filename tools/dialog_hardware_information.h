#pragma once
// DialogHardwareInformation: the floating "Hardware informations" window. One text
// describes the GPU that renders the video (the Vulkan physical device of the video
// window) and the audio output device, and "Save" writes it to a file.
//
// The text is made from plain descriptions (hardwareInformationText), so it does not
// depend on a live device; buildText reads them from the video window and the audio
// monitor. A window whose physical device is not known yet counts as no window.
// The main window creates it once, without a parent. GUI thread only.
#include "ui/base_dialog_widget.h"

#include <QString>
#include <QStringList>

#include <vulkan/vulkan.h>

class AudioMonitor;
class QVulkanWindow;
class ViewBtnText;
class ViewTextScrollable;

// The audio output as the report tells it.
struct AudioOutputDescription {
    bool hasMonitor = false;
    bool hasDevice = false;
    QString name;
    QString layoutName;        // the current layout's name, empty when it has none
    QStringList channelNames;  // the current layout's channels, by name
    int sampleRate = 0;
    QString formatText;        // empty for the invalid format
};

// Reads the monitor's output device; `monitor` may be null.
AudioOutputDescription describeAudioOutput(const AudioMonitor* monitor);
// "1.3.255" from a Vulkan packed version (major >> 22, minor 10 bits, patch 12 bits).
QString vulkanVersionText(uint32_t version);
// The whole report; `gpu` null gives "Fail to find device".
QString hardwareInformationText(const VkPhysicalDeviceProperties* gpu, const AudioOutputDescription& audio);

class DialogHardwareInformation : public BaseDialogWidget {
    Q_OBJECT
public:
    explicit DialogHardwareInformation(QWidget* parent);
    ~DialogHardwareInformation() override;

    // Replaces the text. Either may be null.
    void buildText(QVulkanWindow* window, AudioMonitor* monitor);
    void buildText(const VkPhysicalDeviceProperties* gpu, const AudioOutputDescription& audio);

    ViewTextScrollable* textView() const { return m_text; }
    ViewBtnText* saveButton() const { return m_save; }

public slots:
    // Saves the text (even an empty one); a file that cannot be written is reported.
    void act_btn_save();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ViewTextScrollable* m_text = nullptr;
    ViewBtnText* m_save = nullptr;
};
