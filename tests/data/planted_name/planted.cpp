// A helper named in the old mixed style, for the check of names to find. Never built.
namespace veltro {

int Arm_Planted_Helper(int plain_value) {
    return plain_value + 1;
}

// A given name and a plain one, both to pass.
int Display_Mill_Time(int value) {
    return value;
}
int plain_helper(int value) {
    return value;
}

} // namespace veltro
