#include "app/dialog_settings.h"

#include <algorithm>

namespace kelvora {

JobSettings settingsOf(const FilmParameters& f, const SoundParameters& a,
                       const MovieParameters& m) {
  JobSettings s;
  s.film.track = static_cast<Track>(std::clamp(f.soundtrackType, 0, 2));
  s.film.fps = f.speedIndex == 0 ? 24 : 25;
  s.film.longStrip = f.longStrip != 0;
  s.film.direction = f.directionUp ? Direction::Up : Direction::Down;
  s.film.inverse = f.inverse != 0;
  s.film.frameCorrection = f.frameCorrection;
  if (f.manualResolution != 0)
    s.film.manualResolution = Resolution{leadingNumber(f.resolutionX.toStdString()),
                                         leadingNumber(f.resolutionY.toStdString())};

  s.sound.color = static_cast<ColorElement>(std::clamp(a.colorElement, 0, 3));
  s.sound.removeDC = a.removeDC != 0;
  s.sound.crossfade = a.crossfade != 0;
  s.sound.cutBySoundtrack = a.cutBySoundtrack;
  s.sound.aChain = a.aChain;
  s.sound.reader = a.reader == 1 ? Reader::Precise : Reader::Classic;
  s.sound.output = SoundOutput{static_cast<SoundFormat>(std::clamp(a.soundFormat, 0, 4)),
                               kSoundRates[std::clamp(a.soundRate, 0, 2)]};

  s.movie.size = static_cast<FrameSize>(std::clamp(m.filmSize, 0, 2));
  s.movie.codec = static_cast<MovieCodec>(std::clamp(m.compression, 0, 4));
  s.movie.cutSoundtrack = m.cutSoundtrack != 0;
  return s;
}

void showSettings(const JobSettings& s, FilmParameters& f, SoundParameters& a, MovieParameters& m) {
  f.soundtrackType = static_cast<int>(s.film.track);
  f.speedIndex = s.film.fps == 24 ? 0 : 1;
  f.longStrip = s.film.longStrip ? 1 : 0;
  f.manualResolution = s.film.manualResolution ? 1 : 0;
  f.inverse = s.film.inverse ? 1 : 0;
  f.directionUp = isUp(s.film.direction);
  f.frameCorrection = s.film.frameCorrection;
  // Typed values are shown only once they are set.
  f.resolutionX = s.film.manualResolution ? QString::number(s.film.manualResolution->x) : "";
  f.resolutionY = s.film.manualResolution ? QString::number(s.film.manualResolution->y) : "";

  a.colorElement = static_cast<int>(s.sound.color);
  a.removeDC = s.sound.removeDC ? 1 : 0;
  a.crossfade = s.sound.crossfade ? 1 : 0;
  a.cutBySoundtrack = s.sound.cutBySoundtrack;
  a.aChain = s.sound.aChain;
  a.reader = s.sound.reader == Reader::Precise ? 1 : 0;
  a.soundFormat = static_cast<int>(s.sound.output.format);
  a.soundRate = 0;
  for (int k = 0; k < 3; ++k)
    if (kSoundRates[k] == s.sound.output.rate) a.soundRate = k;

  m.filmSize = static_cast<int>(s.movie.size);
  m.compression = static_cast<int>(s.movie.codec);
  m.cutSoundtrack = s.movie.cutSoundtrack ? 1 : 0;
}

}  // namespace kelvora
