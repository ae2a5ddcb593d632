// The extension module ovik_sdk.main_mod (multi-phase initialisation).
#include <Python.h>

namespace {

PyModuleDef_Slot g_slots[] = {
    {0, nullptr},
};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT, "main_mod", nullptr, 0, nullptr, g_slots, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_main_mod() { return PyModuleDef_Init(&g_module); }
