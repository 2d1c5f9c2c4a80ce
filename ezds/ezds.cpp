// Placeholder until the sound library lands.
