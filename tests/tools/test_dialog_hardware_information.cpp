// The hardware report: its text from hand-made descriptions (every branch of the GPU
// and audio blocks), the GPU block of lavapipe checked against vulkaninfo, the audio
// block of libsoundio's dummy backend checked against the library read directly, a
// video window without a chosen device, and Save through a replaced file chooser
// (a good save, and one cut off by a full disk that keeps the old report).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QVulkanWindow>

#include <dlfcn.h>
#include <soundio/soundio.h>

#include <cstring>

#include "audio/audio_monitor.h"
#include "file_bytes.h"
#include "tests/support/file_size_limit.h"
#include "tools/dialog_hardware_information.h"
#include "tools/report_save.h"
#include "ui/dialog_ask.h"
#include "ui/view_btn_text.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"
#include "widget_app.h"

namespace {

const char* const kLavapipe = "/usr/share/vulkan/icd.d/lvp_icd.x86_64.json";

VkPhysicalDeviceProperties fake_gpu(VkPhysicalDeviceType type) {
    VkPhysicalDeviceProperties p{};
    std::strcpy(p.deviceName, "Test GPU");
    p.deviceType = type;
    p.apiVersion = 0x004030FF;
    p.driverVersion = (2u << 22) | (7u << 12) | 9u;
    p.limits.maxImageDimension2D = 8192;
    return p;
}

AudioOutputDescription fake_device() {
    AudioOutputDescription a;
    a.hasMonitor = a.hasDevice = true;
    a.name = "Speakers";
    a.sampleRate = 44100;
    return a;
}

const QString kAudioHeader = ":: Audio output device informations ::\n\n";

// The first physical device of lavapipe, read through the loader (nothing is linked:
// the loader is opened here). False when lavapipe or the loader is missing.
bool lavapipe_properties(VkPhysicalDeviceProperties* out) {
    qputenv("VK_ICD_FILENAMES", kLavapipe);
    void* loader = dlopen("libvulkan.so.1", RTLD_NOW);
    if (!loader) return false;
    auto getProc = reinterpret_cast<PFN_vkGetInstanceProcAddr>(dlsym(loader, "vkGetInstanceProcAddr"));
    auto createInstance = reinterpret_cast<PFN_vkCreateInstance>(getProc(nullptr, "vkCreateInstance"));
    VkInstanceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    VkInstance instance = VK_NULL_HANDLE;
    if (!createInstance || createInstance(&info, nullptr, &instance) != VK_SUCCESS) return false;
    auto enumerate =
        reinterpret_cast<PFN_vkEnumeratePhysicalDevices>(getProc(instance, "vkEnumeratePhysicalDevices"));
    auto properties =
        reinterpret_cast<PFN_vkGetPhysicalDeviceProperties>(getProc(instance, "vkGetPhysicalDeviceProperties"));
    auto destroy = reinterpret_cast<PFN_vkDestroyInstance>(getProc(instance, "vkDestroyInstance"));
    uint32_t count = 1;
    VkPhysicalDevice device = VK_NULL_HANDLE;
    const VkResult r = enumerate(instance, &count, &device);
    const bool ok = (r == VK_SUCCESS || r == VK_INCOMPLETE) && count > 0;
    if (ok) properties(device, out);
    destroy(instance, nullptr);
    return ok;
}

// "key = value" lines of `vulkaninfo --summary` for the first device.
QString vulkaninfo_value(const QString& summary, const QString& key) {
    const QRegularExpression line("^\\s*" + key + "\\s*=\\s*(.+)$", QRegularExpression::MultilineOption);
    return line.match(summary).captured(1).trimmed();
}

}  // namespace

TEST(HardwareInformation, TextFromDescriptions) {
    const VkPhysicalDeviceProperties cpu = fake_gpu(VK_PHYSICAL_DEVICE_TYPE_CPU);
    const QString gpuBlock =
        ":: GPU informations ::\n\nName : Test GPU\nType : CPU\nVulkan Api Version : 1.3.255\n"
        "Vulkan Driver Version : 2.7.9\nMax Texture dimensions : 8192x8192\n\n\n";

    AudioOutputDescription named = fake_device();
    named.layoutName = "Stereo";
    named.channelNames = {"Front Left", "Front Right"};
    named.formatText = "float 32-bit LE";
    AudioOutputDescription channels = fake_device();
    channels.channelNames = {"Front Left", "Front Right"};
    AudioOutputDescription noDevice;
    noDevice.hasMonitor = true;

    struct Case {
        const VkPhysicalDeviceProperties* gpu;
        AudioOutputDescription audio;
        QString text;
    } cases[] = {
        {nullptr, AudioOutputDescription{},
         ":: GPU informations ::\n\nFail to find device\n\n\n\n:: Audio output device informations ::\n\n"
         "Fail to find audio device\n"},
        {&cpu, noDevice, gpuBlock + kAudioHeader + "Invalid output device\n"},
        {&cpu, named,
         gpuBlock + kAudioHeader +
             "Name : Speakers\nCurrent layout : Stereo\nCurrent frequency : 44100 Hz\nCurrent format : float 32-bit LE"},
        {&cpu, channels,
         gpuBlock + kAudioHeader + "Name : Speakers\nCurrent layout : Front Left, Front Right\nCurrent frequency : 44100 Hz"},
        {&cpu, fake_device(),
         gpuBlock + kAudioHeader + "Name : Speakers\nCurrent layout : Invalid audio layout\nCurrent frequency : 44100 Hz"},
    };
    for (const Case& c : cases) EXPECT_EQ(hardwareInformationText(c.gpu, c.audio), c.text);

    const std::pair<VkPhysicalDeviceType, const char*> types[] = {
        {VK_PHYSICAL_DEVICE_TYPE_OTHER, "Other"},          {VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU, "Integrated GPU"},
        {VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU, "Discrete GPU"}, {VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU, "Virtual GPU"},
        {VkPhysicalDeviceType(42), "Unknown"},
    };
    for (const auto& [type, name] : types) {
        const VkPhysicalDeviceProperties p = fake_gpu(type);
        EXPECT_TRUE(hardwareInformationText(&p, {}).contains(QStringLiteral("\nType : %1\n").arg(name))) << name;
    }
}

TEST(HardwareInformation, LavapipeBlockMatchesVulkaninfo) {
    VkPhysicalDeviceProperties props{};
    if (!QFile::exists(kLavapipe) || !lavapipe_properties(&props)) GTEST_SKIP() << "lavapipe is not installed";
    QProcess vulkaninfo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VK_ICD_FILENAMES", kLavapipe);
    vulkaninfo.setProcessEnvironment(env);
    vulkaninfo.start("vulkaninfo", {"--summary"});
    if (!vulkaninfo.waitForFinished(30000) || vulkaninfo.exitCode() != 0) GTEST_SKIP() << "no vulkaninfo";
    const QString summary = QString::fromUtf8(vulkaninfo.readAllStandardOutput());
    const QString devices = summary.mid(summary.indexOf("Devices:"));

    const QString text = hardwareInformationText(&props, {});
    EXPECT_TRUE(text.startsWith(":: GPU informations ::\n\nName : " + vulkaninfo_value(devices, "deviceName") +
                                "\nType : CPU\nVulkan Api Version : " + vulkaninfo_value(devices, "apiVersion") +
                                "\nVulkan Driver Version : " + vulkaninfo_value(devices, "driverVersion") +
                                QStringLiteral("\nMax Texture dimensions : %1x%1\n\n\n:: Audio")
                                    .arg(props.limits.maxImageDimension2D)))
        << text.toStdString() << "\n---\n" << devices.toStdString();
    EXPECT_EQ(vulkaninfo_value(devices, "deviceType"), "PHYSICAL_DEVICE_TYPE_CPU");
}

TEST(HardwareInformation, DummyAudioBackendAsTheLibraryReportsIt) {
    widget_app();
    // What the library itself says of the dummy output device.
    SoundIo* probe = soundio_create();
    ASSERT_NE(probe, nullptr);
    ASSERT_EQ(soundio_connect_backend(probe, SoundIoBackendDummy), SoundIoErrorNone);
    soundio_flush_events(probe);
    SoundIoDevice* device = soundio_get_output_device(probe, soundio_default_output_device_index(probe));
    ASSERT_NE(device, nullptr);
    QString layout = device->current_layout.name ? QString::fromUtf8(device->current_layout.name) : QString();
    if (layout.isEmpty()) {
        QStringList names;
        for (int c = 0; c < device->current_layout.channel_count; ++c)
            names.append(soundio_get_channel_name(device->current_layout.channels[c]));
        layout = names.isEmpty() ? "Invalid audio layout" : names.join(", ");
    }
    QString expected = QStringLiteral("Name : %1\nCurrent layout : %2\nCurrent frequency : %3 Hz")
                           .arg(QString::fromUtf8(device->name), layout)
                           .arg(device->sample_rate_current);
    if (device->current_format != SoundIoFormatInvalid)
        expected += QStringLiteral("\nCurrent format : %1").arg(soundio_format_string(device->current_format));
    soundio_device_unref(device);
    soundio_destroy(probe);

    SoundIo* context = soundio_create();
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(soundio_connect_backend(context, SoundIoBackendDummy), SoundIoErrorNone);
    soundio_flush_events(context);
    {
        AudioMonitor monitor(context);
        ASSERT_TRUE(monitor.hasOutputDevice());
        DialogHardwareInformation window(nullptr);
        window.buildText(static_cast<QVulkanWindow*>(nullptr), &monitor);
        EXPECT_EQ(window.textView()->text(),
                  ":: GPU informations ::\n\nFail to find device\n\n\n\n" + kAudioHeader + expected);
    }
    soundio_destroy(context);
}

// A video window whose physical device is not chosen yet has no properties.
TEST(HardwareInformation, WindowWithoutDeviceYet) {
    widget_app();
    QVulkanWindow video;
    DialogHardwareInformation window(nullptr);
    window.buildText(&video, nullptr);
    EXPECT_EQ(window.textView()->text(),
              ":: GPU informations ::\n\nFail to find device\n\n\n\n" + kAudioHeader + "Fail to find audio device\n");
}

TEST(HardwareInformation, SaveProposesTheReportNameAndWritesEvenAnEmptyText) {
    widget_app();
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QString caption, proposed;
    QString answer = out.filePath("hw.txt");
    const SaveFileChooser previous = setSaveFileChooser([&](QWidget*, const QString& c, const QString& p, const QString&) {
        caption = c;
        proposed = p;
        return answer;
    });
    DialogHardwareInformation window(nullptr);
    window.act_btn_save();
    EXPECT_EQ(caption, "Save Hardware informations");
    EXPECT_EQ(proposed, "NorvuHAPPlayer_HardwareInformations.txt");
    ASSERT_TRUE(QFile::exists(answer));
    EXPECT_EQ(QFile(answer).size(), 0);

    const VkPhysicalDeviceProperties gpu = fake_gpu(VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU);
    window.buildText(&gpu, fake_device());
    answer = out.filePath("hw2.txt");
    window.act_btn_save();
    QFile saved(answer);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), window.textView()->text());
    setSaveFileChooser(previous);
}

// Save over a good report on a full disk (a file-size limit): the window says so and
// the old report keeps its bytes; a new file is not left behind; then a good save.
TEST(HardwareInformation, SaveThatCannotFinishSaysSoAndKeepsTheOldReport) {
    widget_app();
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString good = out.filePath("hw.txt");
    const QByteArray old_bytes = ":: GPU informations ::\nan older report, whole\n";
    ASSERT_TRUE(write_bytes(good, old_bytes));
    QString answer = good;
    const SaveFileChooser previous =
        setSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&) { return answer; });
    DialogHardwareInformation window(nullptr);
    const VkPhysicalDeviceProperties gpu = fake_gpu(VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU);
    window.buildText(&gpu, fake_device());
    window.show();
    // The messages the window shows, newest last.
    auto messages = [&] {
        QStringList texts;
        for (DialogSimpleMsg* message : window.findChildren<DialogSimpleMsg*>())
            if (message->isVisible()) texts << message->messageLabel()->text();
        return texts;
    };

    {
        testsupport::FileSizeLimit full(16);
        ASSERT_TRUE(full.armed());
        QTest::mouseClick(window.saveButton(), Qt::LeftButton);
        EXPECT_EQ(messages(), QStringList{"Fail to save the hardware informations file"});
        answer = out.filePath("new.txt");
        QTest::mouseClick(window.saveButton(), Qt::LeftButton);
        EXPECT_EQ(messages().size(), 2);
    }
    EXPECT_EQ(read_bytes(good), old_bytes);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"hw.txt"});

    answer = good;
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    EXPECT_EQ(messages().size(), 2);  // nothing more to say
    EXPECT_EQ(QString::fromUtf8(read_bytes(good)), window.textView()->text());
    setSaveFileChooser(previous);
}
