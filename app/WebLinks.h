#pragma once
// Web addresses and the support mail address the program hands to the
// desktop. Kept together so a new home for the product is one edit.
namespace tessaron::links {

inline constexpr char ProductPage[] = "https://tessaron.example.org/";
inline constexpr char ProcessingExamples[] = "https://tessaron.example.org/examples/";
inline constexpr char CollageMaker[] = "https://tessaron.example.org/products/collage/";
inline constexpr char PostcardMaker[] = "https://tessaron.example.org/products/postcards/";
inline constexpr char PhotoFramer[] = "https://tessaron.example.org/products/frames/";
inline constexpr char SupportMail[] = "support@tessaron.example.org";

}  // namespace tessaron::links
