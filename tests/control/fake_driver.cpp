// A driver library as far as its version record goes.
extern "C" {
struct DriverVersionRecord {
    const char* name;
    const char* productVersion;
};
__attribute__((visibility("default"))) extern const DriverVersionRecord DriverVersion;
const DriverVersionRecord DriverVersion{"pipedrv64", "1, 0, 0, 3"};
}
