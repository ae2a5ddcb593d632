"""Host SDK of the Ovik wearable sensor kit; the native core is ``ovik_sdk.main_mod``."""
