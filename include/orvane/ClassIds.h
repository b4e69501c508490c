#pragma once

/// The classes that libOrvane hands out through its class factory, by class
/// identifier and by name. The identifiers never change between versions.
namespace orvane::ClassIds {

/// The class identifier of the ad-client control, orvane::Orvane.
inline constexpr char Orvane[] = "{6B1E0F3A-4C2D-4E8B-9A71-0D5F3C8E2A41}";
/// The class name of the ad-client control.
inline constexpr char OrvaneName[] = "Orvane.Orvane";

/// The class identifier of the exchange client, orvane::exchange::OVHTTPClient.
inline constexpr char OVHTTPClient[] = "{6B1E0F3A-4C2D-4E8B-9A71-0D5F3C8E2A42}";
/// The class name of the exchange client.
inline constexpr char OVHTTPClientName[] = "Orvane.OVHTTPClient";

/// The class identifier of the property bag for the control's ReadProperties
/// and WriteProperties, orvane::PropertyBagObject.
inline constexpr char PropertyBag[] = "{6B1E0F3A-4C2D-4E8B-9A71-0D5F3C8E2A43}";
/// The class name of the property bag.
inline constexpr char PropertyBagName[] = "Orvane.PropertyBag";

} // namespace orvane::ClassIds
