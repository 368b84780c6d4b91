#include "tools/dialog_hardware_information.h"

#include <QResizeEvent>
#include <QVulkanWindow>

#include <soundio/soundio.h>

#include "audio/audio_monitor.h"
#include "audio/pulse_output.h"
#include "tools/report_save.h"
#include "ui/dialog_ask.h"
#include "ui/view_btn_text.h"
#include "ui/view_text_scrollable.h"

namespace {

QString device_type_text(VkPhysicalDeviceType type) {
    switch (type) {
        case VK_PHYSICAL_DEVICE_TYPE_OTHER: return QStringLiteral("Other");
        case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU: return QStringLiteral("Integrated GPU");
        case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU: return QStringLiteral("Discrete GPU");
        case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU: return QStringLiteral("Virtual GPU");
        case VK_PHYSICAL_DEVICE_TYPE_CPU: return QStringLiteral("CPU");
        default: return QStringLiteral("Unknown");
    }
}

}  // namespace

AudioOutputDescription describeAudioOutput(const AudioMonitor* monitor) {
    AudioOutputDescription audio;
    if (!monitor) return audio;
    audio.hasMonitor = true;
    if (const PulseSinkInfo* sink = monitor->soundServerSink()) {
        audio.hasDevice = true;
        audio.name = monitor->deviceName();
        for (const std::string& channel : sink->channelNames) audio.channelNames.append(QString::fromStdString(channel));
        audio.sampleRate = int(sink->rate);
        audio.formatText = QString::fromStdString(sink->format);
        return audio;
    }
    const SoundIoDevice* device = monitor->outputDevice();
    if (!device) return audio;
    audio.hasDevice = true;
    audio.name = monitor->deviceName();
    const SoundIoChannelLayout& layout = device->current_layout;
    if (layout.name) audio.layoutName = QString::fromUtf8(layout.name);
    for (int c = 0; c < layout.channel_count && c < SOUNDIO_MAX_CHANNELS; ++c)
        audio.channelNames.append(QString::fromUtf8(soundio_get_channel_name(layout.channels[c])));
    audio.sampleRate = device->sample_rate_current;
    if (device->current_format != SoundIoFormatInvalid)
        audio.formatText = QString::fromUtf8(soundio_format_string(device->current_format));
    return audio;
}

QString vulkanVersionText(uint32_t version) {
    return QStringLiteral("%1.%2.%3").arg(version >> 22).arg((version >> 12) & 0x3FF).arg(version & 0xFFF);
}

QString hardwareInformationText(const VkPhysicalDeviceProperties* gpu, const AudioOutputDescription& audio) {
    QStringList lines{QStringLiteral(":: GPU informations ::\n")};
    if (!gpu) {
        lines.append(QStringLiteral("Fail to find device\n"));
    } else {
        lines.append(QStringLiteral("Name : %1").arg(QString::fromUtf8(gpu->deviceName)));
        lines.append(QStringLiteral("Type : ") + device_type_text(gpu->deviceType));
        lines.append(QStringLiteral("Vulkan Api Version : %1").arg(vulkanVersionText(gpu->apiVersion)));
        lines.append(QStringLiteral("Vulkan Driver Version : %1").arg(vulkanVersionText(gpu->driverVersion)));
        lines.append(QStringLiteral("Max Texture dimensions : %1x%1").arg(gpu->limits.maxImageDimension2D));
    }
    lines.append(QStringLiteral("\n"));
    lines.append(QStringLiteral(":: Audio output device informations ::\n"));
    if (!audio.hasMonitor) {
        lines.append(QStringLiteral("Fail to find audio device\n"));
    } else if (!audio.hasDevice) {
        lines.append(QStringLiteral("Invalid output device\n"));
    } else {
        lines.append(QStringLiteral("Name : %1").arg(audio.name));
        QString layout = audio.layoutName;
        if (layout.isEmpty()) layout = audio.channelNames.isEmpty() ? QStringLiteral("Invalid audio layout")
                                                                    : audio.channelNames.join(QStringLiteral(", "));
        lines.append(QStringLiteral("Current layout : %1").arg(layout));
        lines.append(QStringLiteral("Current frequency : %1 Hz").arg(audio.sampleRate));
        if (!audio.formatText.isEmpty()) lines.append(QStringLiteral("Current format : %1").arg(audio.formatText));
    }
    return lines.join(QLatin1Char('\n'));
}

DialogHardwareInformation::DialogHardwareInformation(QWidget* parent)
    : BaseDialogWidget(parent, QStringLiteral("Hardware informations"), 400, 600) {
    m_text = new ViewTextScrollable(this, QRect(10, 10, 380, 560));
    m_save = new ViewBtnText(this, QRect(0, 0, 80, 20), QStringLiteral("Save"));
    m_save->setDefaultColors();
    m_save->setToolTip(QStringLiteral("Save hardware informations to file"));
    connect(m_save, &ViewBtnText::ViewBtnText_Clic, this, &DialogHardwareInformation::act_btn_save);
    resize(int(defaultWidth()), int(defaultHeight()));
}

DialogHardwareInformation::~DialogHardwareInformation() = default;

void DialogHardwareInformation::buildText(QVulkanWindow* window, AudioMonitor* monitor) {
    // Before a physical device is chosen the window has no properties (null): no device.
    const VkPhysicalDeviceProperties* gpu = window ? window->physicalDeviceProperties() : nullptr;
    buildText(gpu, describeAudioOutput(monitor));
}

void DialogHardwareInformation::buildText(const VkPhysicalDeviceProperties* gpu, const AudioOutputDescription& audio) {
    setUpdatesEnabled(false);
    m_text->clear();
    m_text->appendText(hardwareInformationText(gpu, audio), false);
    setUpdatesEnabled(true);
}

void DialogHardwareInformation::act_btn_save() {
    if (saveTextToFile(this, m_text->text(), QStringLiteral("NorvuHAPPlayer_HardwareInformations.txt"), QString(),
                       QStringLiteral("Save Hardware informations")) == SaveTextResult::Failed) {
        auto* message = new DialogSimpleMsg(this, QStringLiteral("Fail to save the hardware informations file"));
        message->setAttribute(Qt::WA_DeleteOnClose);
        message->showDialog(true);
    }
}

void DialogHardwareInformation::resizeEvent(QResizeEvent* event) {
    BaseDialogWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const QSize button = m_save->size();
    m_save->move(w - button.width() - 10, h - button.height() - 10);
    m_text->setGeometry(10, 10, w - 20, h - button.height() - 30);
}
