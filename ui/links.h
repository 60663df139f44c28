// Where Quibbo's people can be reached. Until the project has a site of its
// own these live in the reserved example.org domain.
#ifndef QUIBBO_UI_LINKS_H_
#define QUIBBO_UI_LINKS_H_

namespace quibbo::ui {

inline constexpr char kWebPage[] = "https://quibbo.example.org/";
inline constexpr char kEmailAddress[] = "quibbo@example.org";
// Named in the window's caption and the copyright line.
inline constexpr char kAuthor[] = "the Quibbo developers";

}  // namespace quibbo::ui

#endif  // QUIBBO_UI_LINKS_H_
